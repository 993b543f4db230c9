// Times the result list with one category of 50,000 items, offscreen: opening
// the category and painting the list, scrolling to its end and painting, and
// ticking one of its rows (the tick through the model, the repaint of the row
// and its card's header). Prints one line per measure: its name, then the
// median and the slowest of the runs in milliseconds.
#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/controls/appearance.h"
#include "app/controls/render.h"
#include "app/controls/results_list.h"
#include "app/controls/results_model.h"

namespace {

ScanReport bigReport(int items) {
    ScanReport report;
    ScanCategory category;
    category.id = "large-old";
    category.title = "Large & Old Files";
    category.detail = "Files over 100 MB or untouched for a year.";
    category.items.reserve(size_t(items));
    for (int i = 0; i < items; ++i) {
        ScanItem item;
        item.name = "recording-" + std::to_string(i) + ".mov";
        item.url = "/Users/me/Movies/" + item.name;
        item.detail = "~/Movies/";
        item.size = 100'000'000 + i;
        item.safety = i % 7 == 0 ? Safety::review : Safety::safe;
        item.isSelected = item.safety == Safety::safe;
        category.items.push_back(std::move(item));
    }
    report.categories.push_back(std::move(category));
    return report;
}

double ms(qint64 ns) { return double(ns) / 1e6; }

void print(const char* what, std::vector<double> times) {
    std::sort(times.begin(), times.end());
    std::printf("%s\t%.2f\t%.2f\n", what, times[times.size() / 2], times.back());
}

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    Appearance::apply();
    const int items = 50000, runs = 9;
    const ScanReport report = bigReport(items);
    QImage canvas(QSize(900, 700) * 2, QImage::Format_ARGB32_Premultiplied);
    canvas.setDevicePixelRatio(2);

    std::vector<double> expand, scroll, tick;
    for (int run = 0; run < runs; ++run) {
        ResultsList list(ModuleID::largeOldFiles);
        list.setReport(report);
        ScanReport owned = report;
        QObject::connect(&list, &ResultsList::toggleRequested, [&](ModuleID, const Uuid& id, int c, int i) {
            owned.toggle(id);
            list.resultsModel()->setItemSelected(c, i, owned.categories[size_t(c)].items[size_t(i)].isSelected);
        });
        Render::image(list, QSize(900, 700));

        QElapsedTimer clock;
        clock.start();
        list.setCategoryExpanded(0, true);
        list.render(&canvas);
        expand.push_back(ms(clock.nsecsElapsed()));

        clock.restart();
        list.verticalScrollBar()->setValue(list.verticalScrollBar()->maximum());
        list.render(&canvas);
        scroll.push_back(ms(clock.nsecsElapsed()));

        ResultsModel& model = *list.resultsModel();
        const QModelIndex row = model.index(items - 1, 0, model.index(0, 0));
        clock.restart();
        model.activateCheckbox(row);
        list.render(&canvas, QPoint(), QRegion(list.visualRect(row)) + QRegion(list.visualRect(model.index(0, 0))));
        tick.push_back(ms(clock.nsecsElapsed()));
        if (owned.categories[0].items[size_t(items - 1)].isSelected == report.categories[0].items[size_t(items - 1)].isSelected) {
            std::fprintf(stderr, "the tick did not reach the report\n");
            return 1;
        }
    }
    print("expand and paint", expand);
    print("scroll to the end and paint", scroll);
    print("tick one row", tick);
    return 0;
}
