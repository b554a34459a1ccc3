#pragma once

#include <QDir>
#include <QFileInfo>
#include <QString>

// The helper programs under tests/Fixtures/ are built into one folder the build names here.
namespace FixtureProgram {

// Full path of a fixture program, e.g. path(u"sonorvelle_audio_feeder"); empty when it was not
// built, so a test can fail with the program's name.
inline QString path(QStringView name)
{
    const QString candidate =
        QDir(QStringLiteral(SONORVELLE_FIXTURE_DIR)).filePath(name.toString());
    const QFileInfo info(candidate);
    return info.isFile() && info.isExecutable() ? candidate : QString();
}

} // namespace FixtureProgram
