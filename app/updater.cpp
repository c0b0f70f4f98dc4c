#include "app/updater.h"

#include <QCoreApplication>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

Updater *theUpdater = nullptr;

namespace {

constexpr int pollInterval = 1000;  // milliseconds
constexpr int windowWidth = 650;
constexpr int windowHeight = 512;

// A titled frame whose children stand side by side (Qt::Horizontal) or one
// above the other (Qt::Vertical).
QGroupBox *groupBox(const QString &title, Qt::Orientation childrenRun, QWidget *parent)
{
    auto *box = new QGroupBox(title, parent);
    if (childrenRun == Qt::Horizontal)
        new QHBoxLayout(box);
    else
        new QVBoxLayout(box);
    return box;
}

// Adds `widget` to the layout of the box it was made in.
template <typename W>
W *placed(W *widget)
{
    widget->parentWidget()->layout()->addWidget(widget);
    return widget;
}

}  // namespace

QPoint centredPosition(const QRect &screen, const QSize &window)
{
    return {(screen.left() + screen.right()) / 2 - window.width() / 2,
            (screen.top() + screen.bottom()) / 2 - window.height() / 2};
}

Updater::Updater(QWidget *parent) : QMainWindow(parent)
{
    setWindowTitle(QStringLiteral("Vantrel Update"));

    auto *mainBox = new QWidget(this);
    mainBox->setObjectName(QStringLiteral("mainBox"));
    auto *mainLayout = new QVBoxLayout(mainBox);
    mainLayout->setContentsMargins(5, 5, 5, 5);
    mainLayout->setSpacing(10);

    hardwareBox = groupBox(QStringLiteral("Hardware"), Qt::Horizontal, mainBox);
    hardwareBox->setObjectName(QStringLiteral("hardwareBox"));
    mainLayout->addWidget(hardwareBox);
    variantLabel = placed(new QLabel(hardwareBox));
    variantLabel->setObjectName(QStringLiteral("variantLabel"));
    variantLabel->setToolTip(QStringLiteral("The variant of the currently connected Vantrel"));
    serialLabel = placed(new QLabel(hardwareBox));
    serialLabel->setObjectName(QStringLiteral("serialLabel"));
    serialLabel->setToolTip(QStringLiteral("The serial number of the currently connected Vantrel"));

    firmwareBox = groupBox(QStringLiteral("Firmware"), Qt::Vertical, mainBox);
    firmwareBox->setObjectName(QStringLiteral("firmwareBox"));
    mainLayout->addWidget(firmwareBox);
    panelStack = placed(new QStackedWidget(firmwareBox));
    panelStack->setObjectName(QStringLiteral("panelStack"));
    panelStack->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    blankPage = new QWidget(panelStack);
    blankPage->setObjectName(QStringLiteral("blankPage"));
    panelStack->addWidget(blankPage);

    auto *statusBox = groupBox(QStringLiteral("Status"), Qt::Vertical, mainBox);
    statusBox->setObjectName(QStringLiteral("statusBox"));
    mainLayout->addWidget(statusBox);
    statusLabel = placed(new QLabel(statusBox));
    statusLabel->setObjectName(QStringLiteral("statusLabel"));
    // Range and value stay the toolkit's own (0 to 100, none shown) until
    // the first progress report.
    progressBar = placed(new QProgressBar(statusBox));
    progressBar->setObjectName(QStringLiteral("progressBar"));

    auto *pollTimer = new QTimer(this);
    pollTimer->setObjectName(QStringLiteral("pollTimer"));
    connect(pollTimer, &QTimer::timeout, this, &Updater::poll);
    pollTimer->start(pollInterval);

    // The first paint already shows what is attached.
    poll();

    setFixedSize(windowWidth, windowHeight);
    setCentralWidget(mainBox);
    move(centredPosition(QGuiApplication::primaryScreen()->geometry(), size()));
}

Updater::~Updater() = default;

void Updater::setStatus(const QString &text, bool repaintNow)
{
    QString shown = text;
    if (!shown.isEmpty()) {
        shown[0] = shown[0].toUpper();
        if (!shown.endsWith(QLatin1Char('.')))
            shown += QLatin1Char('.');
    }
    statusLabel->setText(shown);
    // During an install nothing else paints until the next report.
    if (repaintNow)
        statusLabel->repaint();
}

void Updater::setSerialNumber(const QString &serial)
{
    serialLabel->setText(QStringLiteral("<b>Serial Number:</b> ") + serial);
}

void Updater::setVariant(const QString &name) { variantLabel->setText(QStringLiteral("<b>Variant:</b> ") + name); }

void Updater::setPollingEnabled(bool enabled) { pollingEnabled = enabled; }

void Updater::progress(int step, int steps, const char *taskdesc, const char *)
{
    if (taskdesc)
        setStatus(QString::fromLatin1(taskdesc), true);
    if (steps != -1)
        progressBar->setMaximum(steps);
    progressBar->setValue(step);
    if (progressBar->maximum() == step) {
        progressBar->setValue(0);
        setStatus(QString(), true);
    }
    // The install runs in this thread: this is where the window keeps
    // painting and answering while it does.
    QCoreApplication::processEvents();
}
