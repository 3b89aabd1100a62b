// The look of the restore wizard's pages: white text in the console's font
// over the step background.
#ifndef RESCUE_CONSOLE_RESTORE_PAGE_STYLE_H
#define RESCUE_CONSOLE_RESTORE_PAGE_STYLE_H

namespace RestorePageStyle {

const char kTitle[] = "font: 75 16pt \"wenquanyi\";\ncolor: rgb(255, 255, 255);";
const char kBody[] = "font: 50 15pt \"wenquanyi\";\ncolor: rgb(255, 255, 255);";
const char kGroup[] =
    "QGroupBox { font: 50 15pt \"wenquanyi\"; color: rgb(255, 255, 255);"
    " border: 1px solid rgba(255, 255, 255, 120); border-radius: 4px; margin-top: 14px; }"
    "QGroupBox::title { subcontrol-origin: margin; left: 10px; padding: 0 4px; }";
const char kEdit[] = "font: 50 13pt \"wenquanyi\";";
const char kTree[] = "font: 50 11pt \"wenquanyi\";";
const char kButton[] = "font: 10pt \"l047013t\";\ncolor: rgb(255, 255, 255);";

}  // namespace RestorePageStyle

#endif
