// The standard file dialogs of the desktop program, answered in Windows
// paths. Tests install a chooser that answers instead of showing a dialog.
#ifndef DESK_FILE_DIALOGS_H
#define DESK_FILE_DIALOGS_H

#include <QString>

#include <functional>

class QWidget;

namespace desk {

struct FileRequest {
    enum Kind { ExistingFolder, ExistingFile, SaveFile } kind = ExistingFolder;
    QString caption;
    QString startFolder;  // a Windows path, or "."
    QString filter;       // files only
};

// An empty answer means the dialog was cancelled.
QString chooseFile(QWidget* parent, const FileRequest& request);

using FileChooser = std::function<QString(QWidget*, const FileRequest&)>;
// Installs `chooser` (an empty function restores the dialogs) and returns
// the one it replaces.
FileChooser setFileChooser(FileChooser chooser);

}  // namespace desk

#endif
