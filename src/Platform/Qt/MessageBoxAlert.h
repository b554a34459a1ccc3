#pragma once

#include "Platform/ModalAlert.h"

// The alert as a QMessageBox with the application's icon, opened with open() and awaited through
// its finished signal, raised over the application the user was working in without taking its
// keyboard; a click on the alert gives it the focus.
class MessageBoxAlert final : public ModalAlert
{
public:
    QCoro::Task<int> run(Content content) override;
};
