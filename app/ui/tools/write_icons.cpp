// Writes the application icon as PNG files, one per size given: DIR SIZE... -> DIR/SIZE.png.
#include <QDir>
#include <QGuiApplication>
#include <cstdio>

#include "app/ui/icons.h"

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: murmura-icon-writer DIR SIZE...\n");
        return 1;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(dir);
    for (int i = 2; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        if (size <= 0 || !murmura::ui::appIcon(size).save(dir + "/" + QString::number(size) + ".png")) {
            std::fprintf(stderr, "cannot write the %s px icon\n", argv[i]);
            return 1;
        }
    }
    return 0;
}
