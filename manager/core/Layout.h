// Layout tables: a pane's controls as rows whose edges are fractions of the pane's width or height plus an
// offset, turned into rectangles for the size the pane has now. Integer arithmetic throughout, as the
// fractions are written (7W/16 is 7 * W / 16).
#pragma once

#include <QRect>
#include <cstddef>
#include <span>

namespace velmo::manager {

// num * (W or H) / den [+ num2 * (W or H) / den2] + offset.
struct Edge {
    int num = 0;
    int den = 1;
    int offset = 0;
    bool ofHeight = false;
    int num2 = 0;
    int den2 = 1;

    constexpr int Of(int w, int h) const {
        const int d = ofHeight ? h : w;
        return d * num / den + d * num2 / den2 + offset;
    }
};

// Two fractions of the same side: 15H/30 + H/14.
constexpr Edge operator+(Edge a, Edge b) {
    a.num2 = b.num;
    a.den2 = b.den;
    a.offset += b.offset;
    return a;
}

constexpr Edge W(int num, int den = 1, int offset = 0) {
    return {num, den, offset, false};
}
constexpr Edge H(int num, int den = 1, int offset = 0) {
    return {num, den, offset, true};
}
// A fixed number of pixels.
constexpr Edge Px(int offset) {
    return {0, 1, offset, false};
}

enum class ControlKind { Label, Value, CheckBox, ComboBox, Button, List, GroupBox, Radio, Edit, Icon, Frame };

struct LayoutRow {
    int id;
    ControlKind kind;
    const char* text;  // the source text (translated where it is shown); null for none
    Edge left;
    Edge top;
    Edge right;   // or the width, when sized
    Edge bottom;  // or the height, when sized
    bool sized = false;
};

// The rectangle of a row for a pane of w × h.
constexpr QRect RowRect(const LayoutRow& row, int w, int h) {
    const int l = row.left.Of(w, h);
    const int t = row.top.Of(w, h);
    const int r = row.sized ? l + row.right.Of(w, h) : row.right.Of(w, h);
    const int b = row.sized ? t + row.bottom.Of(w, h) : row.bottom.Of(w, h);
    return QRect(QPoint(l, t), QPoint(r - 1, b - 1));
}

// The row with this id, or null.
constexpr const LayoutRow* FindRow(std::span<const LayoutRow> rows, int id) {
    for (const LayoutRow& row : rows) {
        if (row.id == id) {
            return &row;
        }
    }
    return nullptr;
}

}  // namespace velmo::manager
