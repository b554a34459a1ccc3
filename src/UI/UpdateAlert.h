#pragma once

#include "Core/UpdateAlerting.h"

#include <QPointer>

class QMessageBox;

// The result of a check for updates the user asked for, in a small message box: up to date (with
// the running version), a newer version with the address of its download page (which the updater
// opens in the browser; the address stays here to copy should that fail), or why the check
// failed. One box at a time: a new result replaces the open box's content. The box
// is opened with open() and never waited for. Texts come from the interface tables at the moment
// a result is shown.
//
// Main thread only.
class UpdateAlert final : public UpdateAlerting
{
public:
    UpdateAlert();
    ~UpdateAlert() override;

    void showUpToDate() override;
    void showUpdateAvailable(const QString &version, const QUrl &page) override;
    void showCheckFailed(const QString &detail) override;

    // The open box; null when none is open.
    QMessageBox *box() const;

private:
    QMessageBox &prepare(const QString &title, const QString &text);
    // One button, then shown without blocking, raised above the other windows.
    void present(QMessageBox &box);

    QPointer<QMessageBox> m_box;
};
