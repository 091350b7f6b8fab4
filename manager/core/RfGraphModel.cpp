#include "RfGraphModel.h"

#include <algorithm>
#include <cmath>

namespace velmo::manager::rf {

namespace {

constexpr double kDrcTable[] = {0, 2, 3, 4, 5, 5, 6, 6, 6.5, 7, 7, 7.5, 8};
constexpr int kDrcEntries = static_cast<int>(std::size(kDrcTable));

// Raw energies falling from 512 in steps of 0.5 dB.
constexpr int kEcIoTable[64] = {512, 457, 408, 364, 325, 290, 260, 232, 207, 185, 166, 148, 133, 119, 106, 95,
                                85,  77,  69,  62,  56,  51,  46,  41,  37,  34,  31,  28,  25,  23,  21,  19,
                                18,  16,  15,  14,  13,  12,  11,  11,  10,  10,  9,   9,   8,   8,   8,   7,
                                7,   7,   7,   6,   6,   6,   6,   6,   6,   6,   6,   6,   6,   5,   5,   5};
constexpr int kNoLevel = -120;

// The right-hand column: labels 14 px high above their value fields of 20, one field every 38 px.
constexpr int kColumnLeft = 310;
constexpr int kColumnWidth = 180;
constexpr int kLabelHeight = 14;
constexpr int kValueHeight = 20;
constexpr int kFieldStep = 38;
constexpr int kKeyIndent = 10;
constexpr int kKeySize = 6;

constexpr QRect Label(int field, bool keyed = false) {
    return {kColumnLeft + (keyed ? kKeyIndent : 0), 10 + kFieldStep * field,
            kColumnWidth - (keyed ? kKeyIndent : 0), kLabelHeight};
}
constexpr QRect Value(int field) {
    return {kColumnLeft, 10 + kFieldStep * field + kLabelHeight + 1, kColumnWidth, kValueHeight};
}
constexpr QRect KeySquare(int field) {
    return {kColumnLeft, 10 + kFieldStep * field + 4, kKeySize, kKeySize};
}

// The axis labels sit beside the graphs' plot areas at the design size: value 90 down to 10 every 14.2 px.
constexpr int kAxisLeft = 5;
constexpr int kAxisWidth = 50;
constexpr int kAxisHeight = 12;
constexpr QRect Axis(int plotBottom, int step) {
    // Steps 0..8 are the values 90..10; step 9 the unit above the graph.
    return step < 9
               ? QRect(kAxisLeft, plotBottom - static_cast<int>((90 - 10 * step) * 1.42) - kAxisHeight / 2,
                       kAxisWidth, kAxisHeight)
               : QRect(kAxisLeft, plotBottom - 160, kAxisWidth, kAxisHeight);
}
constexpr int kDrcPlotBottom = 174;
constexpr int kPowerPlotBottom = 354;

constexpr const char* kDrcAxis[] = {"2,457", "1,228", "614.4", "307.2", "153.6",
                                    "76.8",  "38.4",  "19.2",  "0",     "(kbps)"};
constexpr const char* kPowerAxis[] = {"40", "20", "0", "-20", "-40", "-60", "-80", "-100", "-120", "(dBm)"};

constexpr auto MakeEntries() {
    std::array<LayoutEntry, 41> e{};
    size_t n = 0;
    const struct {
        int label;
        int value;
        const char* text;
        int key;
    } fields[] = {
        {kActiveLabel, kActiveValue, "Active Set PN", 0},
        {kEnergyLabel, kEnergyValue, "Aset Energy Ec/Io (dB)", 0},
        {kNeighbourLabel, kNeighbourValue, "Neighbor Set PN", 0},
        {kChannelLabel, kChannelValue, "Channel", 0},
        {kTxClosedLabel, kTxClosedValue, "Tx Closed", kKeyTxClosed},
        {kTxPilotLabel, kTxPilotValue, "Tx Pilot", kKeyTxPilot},
        {kTxTotalLabel, kTxTotalValue, "Tx Total", kKeyTxTotal},
        {kRxLabel, kRxValue, "Rx Pwr", kKeyRx},
    };
    int field = 0;
    for (const auto& f : fields) {
        e[n++] = {f.label, Kind::Label, Anchor::Right, f.text, Label(field, f.key != 0)};
        e[n++] = {f.value, Kind::Value, Anchor::Right, nullptr, Value(field)};
        if (f.key != 0) {
            e[n++] = {f.key, Kind::Key, Anchor::Right, nullptr, KeySquare(field)};
        }
        ++field;
    }
    e[n++] = {kStart, Kind::Button, Anchor::Right, "&Start", QRect(kColumnLeft, 336, 80, 24)};
    for (int i = 0; i < 10; ++i) {
        e[n++] = {kDrcAxisFirst + i, Kind::Axis, Anchor::Left, kDrcAxis[i], Axis(kDrcPlotBottom, i)};
    }
    for (int i = 0; i < 10; ++i) {
        e[n++] = {kPowerAxisFirst + i, Kind::Axis, Anchor::Left, kPowerAxis[i], Axis(kPowerPlotBottom, i)};
    }
    return e;
}

constexpr auto kEntries = MakeEntries();

int Scaled(int y, int height) {
    return static_cast<int>(std::lround(static_cast<double>(y) * height / kDesignSize.height()));
}

// How far the dBm labels move up in a tall window.
int DbmShift(int height) {
    if (height < 500) {
        return 0;
    }
    return 5 * std::min(5, (height - 400) / 100);
}

}  // namespace

void GraphData::Append(int series, double value) {
    if (series < 0 || series >= kSeries) {
        return;
    }
    Ring& r = series_[static_cast<size_t>(series)];
    r.active = true;
    r.values[static_cast<size_t>(r.write)] = value;
    r.count = std::min(r.count + 1, kSamples);
    r.write = (r.write + 1) % kSamples;
    if (r.count == kSamples) {
        r.start = r.write;
    }
}

bool GraphData::Active(int series) const {
    return series >= 0 && series < kSeries && series_[static_cast<size_t>(series)].active;
}

int GraphData::Count(int series) const {
    return series >= 0 && series < kSeries ? series_[static_cast<size_t>(series)].count : 0;
}

double GraphData::Sample(int series, int k) const {
    if (series < 0 || series >= kSeries || k < 0 || k >= Count(series)) {
        return 0;
    }
    const Ring& r = series_[static_cast<size_t>(series)];
    return r.values[static_cast<size_t>((r.start + k) % kSamples)];
}

std::vector<double> GraphData::Samples(int series) const {
    std::vector<double> out;
    for (int k = 0; k < Count(series); ++k) {
        out.push_back(Sample(series, k));
    }
    return out;
}

std::vector<double> GridValues() {
    std::vector<double> out;
    for (double v = kScaleMin + kScaleStep; v < kScaleMax; v += kScaleStep) {
        out.push_back(v);
    }
    return out;
}

QPointF PlotPoint(int k, double value, const QRectF& plot) {
    return {plot.left() + plot.width() * k / GraphData::kSamples,
            plot.bottom() - value * plot.height() / (kScaleMax - kScaleMin)};
}

double PowerPlot(int dbm) {
    return (dbm + 120) * 0.5 + 10;
}

double TxClosedPlot(int dbm) {
    return dbm == kNoLevel ? 9.5 : PowerPlot(dbm);
}

double TxPilotPlot(int pilotDbm, int closedDbm) {
    return closedDbm == kNoLevel ? (pilotDbm + 121) * 0.5 + 10 : PowerPlot(pilotDbm);
}

double DrcPlot(int index) {
    if (index < 0) {
        return kScaleMin;
    }
    return index < kDrcEntries ? (kDrcTable[index] + 1) * 10 : kScaleMax;
}

double EcIo(int raw) {
    int i = 0;
    while (i < 64 && raw < kEcIoTable[i]) {
        ++i;
    }
    if (i == 0 || i == 64) {
        return 0;
    }
    const int before = kEcIoTable[i - 1];
    const int at = kEcIoTable[i];
    return i * 0.5 + (before - raw) * 0.5 / (before - at);
}

QString EcIoText(int raw) {
    return QStringLiteral("-%1 ").arg(EcIo(raw), 0, 'f', 2);
}

std::optional<QString> BlockText(const RfBlock& block, bool energies) {
    if (block[0] == -1) {
        return std::nullopt;
    }
    QString text;
    for (const int16_t entry : block) {
        if (entry == -1) {
            break;
        }
        text += energies ? EcIoText(entry) : QStringLiteral("%1 ").arg(entry);
    }
    return text;
}

RfSample SampleOf(const RfReading& r) {
    RfSample s;
    s.power = {PowerPlot(r.rxPower), TxClosedPlot(r.txClosed), TxPilotPlot(r.txPilot, r.txClosed),
               PowerPlot(r.txTotal)};
    s.drc = DrcPlot(r.drcIndex);
    const int levels[4] = {r.rxPower, r.txClosed, r.txPilot, r.txTotal};
    for (size_t i = 0; i < 4; ++i) {
        s.powerTexts[i] = QStringLiteral("%1 ").arg(levels[i]);
    }
    return s;
}

std::span<const LayoutEntry> LayoutEntries() {
    return kEntries;
}

std::vector<std::pair<int, QRect>> RfLayout(QSize window) {
    const int w = window.width();
    const int h = window.height();
    std::vector<std::pair<int, QRect>> out;
    std::vector<QRect> placed;
    QRect activeLabel;
    QRect start;
    int columnLeft = w;
    for (const LayoutEntry& e : kEntries) {
        const QRect d = e.design;
        const int left = e.anchor == Anchor::Right ? d.left() + (w - kDesignSize.width()) : d.left();
        const int top = Scaled(d.top(), h);
        int height = e.kind == Kind::Axis ? Scaled(d.bottom() + 1, h) - top : d.height();
        if (e.kind == Kind::Value && h < 400) {
            height -= 3;
        }
        QRect r(left, top, d.width(), height);
        if (e.kind == Kind::Axis && e.id >= kPowerAxisFirst) {
            r.translate(0, -DbmShift(h));
        }
        const bool overlaps =
            std::any_of(placed.begin(), placed.end(), [&r](const QRect& p) { return p.intersects(r); });
        if (overlaps || !QRect(QPoint(0, 0), window).contains(r)) {
            r = QRect();
        } else {
            placed.push_back(r);
        }
        if (e.id == kActiveLabel) {
            activeLabel = r;
        }
        if (e.id == kStart) {
            start = r;
        }
        if (e.anchor == Anchor::Right && !r.isEmpty()) {
            columnLeft = std::min(columnLeft, r.left());
        }
        out.emplace_back(e.id, r);
    }
    // The graphs between the axis column and the right-hand column, one above the other.
    const int graphLeft = kAxisLeft + kAxisWidth + 5;
    const int graphRight = columnLeft - 5;
    const int top = activeLabel.isEmpty() ? 10 : activeLabel.top();
    const int bottom = start.isEmpty() ? h - 10 : start.bottom() + 1;
    const int middle = (top + bottom) / 2;
    out.emplace_back(kDrcGraph, QRect(QPoint(graphLeft, top), QPoint(graphRight - 1, middle - 5 - 1)));
    out.emplace_back(kPowerGraph, QRect(QPoint(graphLeft, middle + 5), QPoint(graphRight - 1, bottom - 1)));
    return out;
}

}  // namespace velmo::manager::rf
