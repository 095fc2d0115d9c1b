#include "filedialog.h"

#include <QFileDialog>

#include <utility>

namespace {

FileDialogHandler &Handler()
{
    static FileDialogHandler handler;
    return handler;
}

} // namespace

bool ShowFileDialog(QFileDialog &dialog)
{
    if (Handler())
        return Handler()(dialog);
    return dialog.exec() == QDialog::Accepted;
}

FileDialogHandler SetFileDialogHandler(FileDialogHandler handler)
{
    return std::exchange(Handler(), std::move(handler));
}
