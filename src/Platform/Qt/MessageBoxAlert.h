#pragma once

#include "Platform/ModalAlert.h"

// The alert as a QMessageBox with the application's icon, opened with open() and awaited through
// its finished signal, then raised and activated over the application the user was working in.
class MessageBoxAlert final : public ModalAlert
{
public:
    QCoro::Task<int> run(Content content) override;
};
