// vantrel-update-demo on its simulated adapter: what a user or a script
// running it gets told, and that it always comes to an end.

#include <filesystem>

#include <gtest/gtest.h>

#include "tests/demo/demo_start.h"

namespace {

using DemoAutoInstall = DemoStart;

TEST_F(DemoAutoInstall, SaysWhatIsWrongWithItsOptionsInOneLine)
{
    const QStringList wrongs[] = {
        {QStringLiteral("--bogus")},
        {QStringLiteral("--variant"), QStringLiteral("nonesuch")},
        {QStringLiteral("--fault")},
        {QStringLiteral("--serial"), QStringLiteral("--auto-install")},
        {QStringLiteral("--screenshots"), QString::fromStdString(pathOf("shots"))},
    };
    for (const QStringList &arguments : wrongs) {
        SCOPED_TRACE(arguments.join(QLatin1Char(' ')).toStdString());
        auto demo = startDemo(arguments);
        EXPECT_TRUE(demo->endsWith(2));
        const QString errors = QString::fromLocal8Bit(demo->errors());
        EXPECT_EQ(errors.count(QLatin1Char('\n')), 1) << errors.toStdString();
        EXPECT_TRUE(errors.startsWith(QStringLiteral("vantrel-update-demo: "))) << errors.toStdString();
        EXPECT_TRUE(errors.contains(QStringLiteral("--help"))) << errors.toStdString();
    }
}

TEST_F(DemoAutoInstall, GivesUpAtOnceOnAnAdapterThatCannotBeRead)
{
    // Each of the window's tries at a held (or silent) adapter fails the same way.
    auto demo = startDemo({QStringLiteral("--auto-install"), QStringLiteral("--variant"), QStringLiteral("arm-basic"),
                           QStringLiteral("--fault"), QStringLiteral("busy")});
    EXPECT_TRUE(demo->printed(QStringLiteral("the adapter did not get ready, giving up: Device already in use.")))
        << demo->output().toStdString();
    EXPECT_TRUE(demo->endsWith(1)) << demo->output().toStdString();
}

TEST_F(DemoAutoInstall, EndsWithOneWhenTheInstallFails)
{
    auto demo = startDemo({QStringLiteral("--auto-install"), QStringLiteral("--variant"), QStringLiteral("msp430"),
                           QStringLiteral("--fault"), QStringLiteral("crc")});
    EXPECT_TRUE(demo->printed(QStringLiteral("install failed"))) << demo->output().toStdString();
    EXPECT_TRUE(demo->endsWith(1)) << demo->output().toStdString();
}

TEST_F(DemoAutoInstall, MakesTheFolderOfItsScreenshots)
{
    const std::string shots = pathOf("pictures/of/the/window");
    auto demo = startDemo({QStringLiteral("--auto-install"), QStringLiteral("--variant"), QStringLiteral("arm-basic"),
                           QStringLiteral("--installed"), QStringLiteral("carried"), QStringLiteral("--screenshots"),
                           QString::fromStdString(shots)});
    EXPECT_TRUE(demo->endsWithZero()) << demo->output().toStdString();
    EXPECT_TRUE(std::filesystem::exists(shots + "/device-ready.png")) << demo->output().toStdString();
}

}  // namespace
