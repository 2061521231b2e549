#pragma once
// The main window's toolbar pictures, drawn at start-up in one flat style instead of being
// loaded from files, and the program's own icon. UI thread only.

#include <QIcon>

namespace pelmora {

enum class ToolGlyph { Save, New, Copy, Delete, Go, Schedule, About, Exit };

// A 24x24 picture of `glyph`.
QIcon drawIcon(ToolGlyph glyph);

// The program's icon (the installed pelmora.png renderings, 16 to 256 pixels), for its windows
// and the notification area.
QIcon ProgramIcon();

} // namespace pelmora
