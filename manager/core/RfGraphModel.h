// The RF signal graph as data: the graphs' sample rings and scale, the plotting formulas, the DRC and Ec/Io
// tables, the texts of the value fields, and the window's layout table with the function that applies it.
#pragma once

#include <QPointF>
#include <QRect>
#include <QRectF>
#include <QSize>
#include <QString>
#include <array>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "RfReading.h"

namespace velmo::manager::rf {

// Up to 20 series of 200 samples each; the 201st sample of a series replaces its oldest. Owned by the window
// thread.
class GraphData {
  public:
    static constexpr int kSeries = 20;
    static constexpr int kSamples = 200;

    void Append(int series, double value);
    bool Active(int series) const;
    int Count(int series) const;
    // k = 0 is the oldest sample kept.
    double Sample(int series, int k) const;
    std::vector<double> Samples(int series) const;

  private:
    struct Ring {
        bool active = false;
        int start = 0;
        int write = 0;
        int count = 0;
        std::array<double, kSamples> values{};
    };
    std::array<Ring, kSeries> series_{};
};

inline constexpr double kScaleMin = 0;
inline constexpr double kScaleMax = 100;
inline constexpr double kScaleStep = 10;
// The grid lines: every step strictly between the minimum and the maximum.
std::vector<double> GridValues();
// Sample k of a series at value v in the plot area.
QPointF PlotPoint(int k, double value, const QRectF& plot);

// Powers put -120 dBm at 10 and 40 dBm at 90.
double PowerPlot(int dbm);
// -120 (nothing decoded) sits just under the scale's floor line.
double TxClosedPlot(int dbm);
// Lifted by half a unit while the closed-loop value is -120, so that the two lines stay apart.
double TxPilotPlot(int pilotDbm, int closedDbm);
// (table value + 1) × 10; an index above the table's 12 plots at the top of the scale.
double DrcPlot(int index);

// Ec/Io in dB (positive) of a raw energy value; 0 at or above 512 and below the table's end.
double EcIo(int raw);
// "-%0.2f ".
QString EcIoText(int raw);

// The text of a pilot block: "%d " per entry (energies as EcIoText) up to the first -1; nothing when the
// block starts with -1, so that the text shown stays.
std::optional<QString> BlockText(const RfBlock& block, bool energies);

// One snapshot as plotted: power series 0 Rx, 1 Tx closed, 2 Tx pilot, 3 Tx total; the texts in that order.
struct RfSample {
    std::array<double, 4> power{};
    double drc = 0;
    std::array<QString, 4> powerTexts;
};
RfSample SampleOf(const RfReading& reading);

// The window's controls.
enum ControlId : int {
    kPowerGraph = 1102,
    kDrcGraph = 1103,
    kNeighbourLabel = 1093,
    kNeighbourValue = 1094,
    kKeyTxClosed = 1095,
    kKeyTxPilot = 1096,
    kKeyTxTotal = 1097,
    kKeyRx = 1098,
    kActiveLabel = 1104,
    kActiveValue = 1105,
    kEnergyLabel = 1106,
    kEnergyValue = 1107,
    kChannelLabel = 1109,
    kChannelValue = 1110,
    kTxClosedLabel = 1111,
    kTxClosedValue = 1112,
    kTxPilotLabel = 1113,
    kTxPilotValue = 1114,
    kTxTotalLabel = 1115,
    kTxTotalValue = 1116,
    kRxLabel = 1117,
    kRxValue = 1118,
    kStart = 1119,
    kDrcAxisFirst = 1120,    // ten labels, "2,457" down to "0", then "(kbps)"
    kPowerAxisFirst = 1130,  // ten labels, "40" down to "-120", then "(dBm)"
};

enum class Anchor {
    Right,  // keeps its distance from the right edge and its width
    Left,   // keeps its distance from the left edge and its width
};
enum class Kind { Value, Label, Key, Button, Axis };

struct LayoutEntry {
    int id;
    Kind kind;
    Anchor anchor;
    const char* text;  // labels, axis labels and the button; nullptr for the others
    QRect design;      // at the design size
};

inline constexpr QSize kDesignSize{500, 380};
std::span<const LayoutEntry> LayoutEntries();

// Every control's rectangle for a window size (an empty one for a control that would overlap one placed
// before it), the two graphs last.
std::vector<std::pair<int, QRect>> RfLayout(QSize window);

}  // namespace velmo::manager::rf
