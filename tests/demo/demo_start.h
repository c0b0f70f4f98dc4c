#pragma once

#include <fstream>
#include <memory>
#include <string>

#include <QTemporaryDir>

#include "tests/app/program_start.h"
#include "tests/app/single_instance_place.h"

// Starts of the demo in a runtime folder of their own, so that they meet no
// other updater, with files written to a scratch folder.
class DemoStart : public testing::Test {
protected:
    QTemporaryDir runtimeFolder;
    QTemporaryDir folder;

    std::string pathOf(const std::string &name) const { return folder.filePath(QString::fromStdString(name)).toStdString(); }

    std::string write(const std::string &name, const std::string &text)
    {
        const std::string path = pathOf(name);
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }

    std::unique_ptr<ProgramStart> startDemo(const QStringList &arguments)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TMPDIR"), folder.path());
        environment.insert(QString::fromLatin1(singleInstanceFolderVariable), runtimeFolder.path());
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"),
                           qEnvironmentVariable("QT_QPA_PLATFORM", QStringLiteral("offscreen")));
        return std::make_unique<ProgramStart>(QStringLiteral(VANTREL_DEMO_BINARY), arguments, environment);
    }
};
