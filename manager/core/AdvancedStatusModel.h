// The advanced status window's list: the raw status values with their names, in their order.
#pragma once

#include <QString>
#include <vector>

#include "velmo/IOrvikModem.h"

namespace velmo::manager {

struct StatusField {
    QString label;
    QString value;
};

// The list as shown; status.NetworkKind holds the mode. rfModeText carries the last known "Rf Mode" text: a
// value without a name keeps it. rfBlockAFirst is the first 16-bit value of the RF block A (-1 when unknown).
std::vector<StatusField> AdvancedStatusFields(const ModemStatusRecord& status, int rfBlockAFirst,
                                              int packetState, QString* rfModeText);

}  // namespace velmo::manager
