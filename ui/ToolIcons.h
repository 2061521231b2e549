#pragma once
// The main window's toolbar pictures (and the window's own icon), drawn at start-up in one
// flat style instead of being loaded from files. UI thread only.

#include <QIcon>

namespace pelmora {

enum class ToolGlyph { Save, New, Copy, Delete, Go, Schedule, About, Exit };

// A 24x24 picture of `glyph`.
QIcon drawIcon(ToolGlyph glyph);

} // namespace pelmora
