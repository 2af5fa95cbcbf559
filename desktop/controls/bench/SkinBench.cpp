// Measures the skin engine: the time to build the main window's shape from
// its bitmap, and the region builds and repaints that a 100 ms poll with
// unchanged values causes over a stretch of time.
//   skin_bench [SECONDS]   (default 10; runs on any Qt platform, e.g. offscreen)
#include "desktop/controls/CShowTime.h"
#include "desktop/controls/KButton.h"
#include "desktop/controls/KButtonSkin.h"
#include "desktop/controls/KScrollButtonSkin.h"
#include "desktop/controls/KShowPercentsCtrl.h"
#include "desktop/controls/KSkinManifest.h"
#include "desktop/controls/KSkinResources.h"
#include "desktop/controls/tests/support/PaintCounter.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;

    // The shape of bitmap 510, built repeatedly.
    const QImage shape = LoadSkinBitmap(510);
    std::vector<double> times;
    for (int i = 0; i < 200; ++i) {
        QElapsedTimer t;
        t.start();
        const auto region = KDialogSkin::RegionFromImage(shape, kSkinKeyColour);
        times.push_back(static_cast<double>(t.nsecsElapsed()) / 1000.0);
        if (!region) return 1;
    }
    std::sort(times.begin(), times.end());
    std::printf("region of bitmap 510 (%dx%d): median %.1f us, best %.1f us, worst %.1f us\n", shape.width(),
                shape.height(), times[times.size() / 2], times.front(), times.back());

    // A main window's skinned controls, polled every 100 ms with values
    // that do not change.
    QWidget window;
    window.resize(KSkinManifest::BitmapSize(510));
    KDialogSkin skin(&window);
    skin.AddBitmapResource(510, KDialogSkin::kBuildRegion, kSkinKeyColour);
    skin.SelectState(0);
    CShowTime playTime(&window), cacheTime(&window);
    KShowPercentsCtrl percent(&window);
    playTime.SetBitmaps(LoadSkinPixmaps({143, 141, 142, 144, 145, 146, 147, 148, 150, 152, 153}));
    cacheTime.SetBitmaps(LoadSkinPixmaps({298, 299, 301, 302, 303, 304, 305, 306, 307, 297, 308}));
    playTime.setGeometry(KSkinManifest::MainControlRect(1051));
    cacheTime.setGeometry(KSkinManifest::MainControlRect(1052));
    percent.setGeometry(KSkinManifest::MainControlRect(1053));
    auto* thumbItem = new QLabel(&window);
    thumbItem->setProperty(kControlIdProperty, 1081);
    thumbItem->setGeometry(KSkinManifest::MainControlRect(1081));
    KScrollButtonSkin thumb;
    const int thumbIds[] = {326, 327, 325};
    InitSkinButton(&window, thumb, 1081, thumbIds, 3);
    thumb.Attach(335);
    KButtonSkin meter;
    auto* meterItem = new QLabel(&window);
    meterItem->setProperty(kControlIdProperty, 1066);
    meterItem->setGeometry(KSkinManifest::MainControlRect(1066));
    const int meterIds[] = {312, 313, 314, 315, 316, 317, 318, 319, 320, 311};
    InitSkinButton(&window, meter, 1066, meterIds, 10);
    window.show();
    app.processEvents();

    PaintCounter paints;
    for (QWidget* w : window.findChildren<QWidget*>()) paints.Watch(w);
    paints.Watch(&window);
    const int buildsBefore = skin.RegionBuilds() + thumb.Skin().RegionBuilds() + meter.Skin().RegionBuilds();

    KTimecode play, cache;
    play.AssignMilliseconds(3723450);
    cache.AssignMilliseconds(600000);
    int polls = 0;
    QTimer poll;
    poll.setInterval(100);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        ++polls;
        playTime.SetTime(play);
        cacheTime.SetTime(cache);
        percent.SetPercent(42);
        if (meter.GetCurrentState() != 4) meter.SelectState(4);
        thumb.SetRange(1800000);
        thumb.SetBounds(0, 1800000);
        thumb.SetValue(900000);
    });
    poll.start();
    // Let the first poll settle the values, then count.
    QTimer::singleShot(250, [&] {
        paints.count = 0;
        polls = 0;
    });
    QTimer::singleShot(250 + seconds * 1000, &app, &QApplication::quit);
    app.exec();
    const int builds = skin.RegionBuilds() + thumb.Skin().RegionBuilds() + meter.Skin().RegionBuilds() - buildsBefore;
    std::printf("%d polls with unchanged values over %d s: %d region builds, %d repaints\n", polls, seconds, builds,
                paints.count);
    return 0;
}
