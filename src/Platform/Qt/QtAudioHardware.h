#pragma once

#include "Platform/AudioHardware.h"

class QMediaDevices;

// The audio devices as Qt Multimedia lists them: the inputs of QMediaDevices, uid = the device
// id, name = its description. Qt lists input devices only.
class QtAudioHardware final : public AudioHardware
{
    Q_OBJECT

public:
    explicit QtAudioHardware(QObject *parent = nullptr);
    ~QtAudioHardware() override;

    QList<Device> devices() const override;
    std::optional<QString> defaultInputUID() const override;

private:
    QMediaDevices *m_mediaDevices;
};
