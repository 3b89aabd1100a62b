// The pictures, style sheet and Chinese catalogue compiled into the frame
// library, reached as ":images/<name>.png", ":/qss/stylesheet.qss" and
// ":/translations/pelrid_zh_CN.qm".
#ifndef WIZARD_FRAME_RESOURCES_H
#define WIZARD_FRAME_RESOURCES_H

#include <QString>
#include <QStringList>

// Registers the resources (once; later calls do nothing) and maps the font
// names the style sheets use ("wenquanyi", "l047013t") to the families of
// styleFontFamilies(). BaseDlg and BaseMsgDlg call it themselves, so any program or
// test that builds a frame window has the pictures; call it directly before
// reading a resource without a window. Needs the QGuiApplication to exist.
void initRescueFrame();

// The installed families that stand for the style sheets' font names, in
// order of preference: on Windows the fonts Windows ships, on Linux the
// Chinese fonts of the rescue system.
QStringList styleFontFamilies();

// The application style sheet of the console (empty when missing).
QString frameStyleSheet();

// Resource path of the console's own Chinese catalogue.
inline QString frameCatalogPath()
{
    return QStringLiteral(":/translations/pelrid_zh_CN.qm");
}

#endif
