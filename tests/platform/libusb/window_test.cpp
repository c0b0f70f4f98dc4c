// The product's window on the product's Linux backend: no virtual bus, only
// libusb against an adapter emulated in a umockdev testbed.

#include <gtest/gtest.h>

#include <QApplication>
#include <QGroupBox>
#include <QLabel>

#include <memory>

#include "app/updater.h"
#include "tests/platform/libusb/emulated_variant.h"
#include "tests/platform/libusb/emulation/umockdev_preload.h"

namespace {

QString labelText(const Updater &window, const char *name)
{
    const auto *label = window.findChild<QLabel *>(QString::fromLatin1(name));
    return label ? label->text() : QStringLiteral("(no label)");
}

TEST(WindowOnLibusb, ShowsTheAttachedAdapterReady)
{
    EmulatedVariant max{16};
    UsbTestbed testbed;
    auto description = EmulatedDevice::at("1-1", 2);
    description.productId = max.config.productId;
    description.serial = max.config.serialNumber;
    description.manufacturer = "Vantrel";
    testbed.add(description).connect(max.peer());

    // The constructor polls once: the window shows the adapter at once.
    auto window = std::make_unique<Updater>(nullptr);
    EXPECT_EQ(labelText(*window, "statusLabel"), "Device ready.");
    EXPECT_EQ(labelText(*window, "variantLabel"), "<b>Variant:</b> Vantrel Max");
    EXPECT_EQ(labelText(*window, "serialLabel"), "<b>Serial Number:</b> " + QString::fromLatin1(max.config.serialNumber));
    EXPECT_TRUE(window->findChild<QGroupBox *>(QStringLiteral("firmwareBox"))->isEnabled());
}

}  // namespace

int main(int argc, char **argv)
{
    if (!runWithUmockdevPreload(argv))
        return 1;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
