#include "Texts.h"

#include "PrefMode.h"

namespace velmo::manager {

QString ReadyText() {
    return Tr::tr("Gotowy");
}

namespace prefmode {

namespace {
constexpr const char* kListTexts[kListEntries] = {
    QT_TRANSLATE_NOOP("velmo::manager::Tr", "Tylko 1xEvDO"),
    QT_TRANSLATE_NOOP("velmo::manager::Tr", "1xEvDO oraz 1xRTT"),
    QT_TRANSLATE_NOOP("velmo::manager::Tr", "Tylko 1xRTT"),
    QT_TRANSLATE_NOOP("velmo::manager::Tr", "inne"),
};
}  // namespace

QString ListText(int entry) {
    return entry >= 0 && entry < kListEntries ? Tr::tr(kListTexts[entry]) : QString();
}

QString ModeText(uint16_t mode) {
    return ListText(mode == kModemEvdoOnly ? kEvdoOnly : mode == kModemHybrid ? kBoth : k1xOnly);
}

}  // namespace prefmode

}  // namespace velmo::manager
