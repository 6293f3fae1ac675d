// Writes the program's icon into a hicolor icon theme folder: scalable/apps/ID.svg and
// NxN/apps/ID.png for each size given.
// Usage: qex_make_app_icon FOLDER ID SIZE...

#include "app_icon.h"

#include <QDir>
#include <QGuiApplication>
#include <QSaveFile>

#include <cstdio>

namespace {

bool writeText(const QString& file, const QString& text)
{
    QSaveFile out(file);
    const QByteArray bytes = text.toUtf8();
    return out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size() && out.commit();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "Usage: qex_make_app_icon FOLDER ID SIZE...\n");
        return 2;
    }
    // A build step: it never needs a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    const QString id = QString::fromLocal8Bit(argv[2]);
    const auto layers = appicon::layers();

    const QString scalable = QStringLiteral("scalable/apps/%1.svg").arg(id);
    if (!folder.mkpath(QStringLiteral("scalable/apps")) ||
        !writeText(folder.filePath(scalable), appicon::svg(layers))) {
        std::fprintf(stderr, "qex_make_app_icon: cannot write %s\n", qPrintable(folder.filePath(scalable)));
        return 1;
    }
    for (int i = 3; i < argc; ++i) {
        const int side = QString::fromLocal8Bit(argv[i]).toInt();
        const QString sized = QStringLiteral("%1x%1/apps").arg(side);
        const QString file = folder.filePath(sized + '/' + id + QStringLiteral(".png"));
        if (side <= 0 || !folder.mkpath(sized) || !appicon::bitmap(layers, side).save(file, "PNG")) {
            std::fprintf(stderr, "qex_make_app_icon: cannot write the %s pixel icon %s\n", argv[i], qPrintable(file));
            return 1;
        }
    }
    return 0;
}
