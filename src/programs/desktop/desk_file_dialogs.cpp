#include "programs/desktop/desk_file_dialogs.h"

#include "programs/desktop/desk_paths.h"

#include <QFileDialog>

namespace desk {

namespace {
FileChooser& installedChooser()
{
    static FileChooser chooser;
    return chooser;
}
}  // namespace

QString chooseFile(QWidget* parent, const FileRequest& request)
{
    if (installedChooser())
        return installedChooser()(parent, request);
    const QString start = request.startFolder == "." ? request.startFolder : localPath(request.startFolder);
    QString answer;
    if (request.kind == FileRequest::ExistingFolder)
        answer = QFileDialog::getExistingDirectory(
            parent, request.caption, start, QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    else if (request.kind == FileRequest::SaveFile)
        answer = QFileDialog::getSaveFileName(parent, request.caption, start, request.filter);
    else
        answer = QFileDialog::getOpenFileName(parent, request.caption, start, request.filter);
    return answer.isEmpty() ? answer : windowsPath(answer);
}

FileChooser setFileChooser(FileChooser chooser)
{
    FileChooser previous = installedChooser();
    installedChooser() = std::move(chooser);
    return previous;
}

}  // namespace desk
