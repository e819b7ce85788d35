// render_bench: one render job through the editing component, timed.
//
//   render_bench <type> <input> <output-prefix> [pieces] [wmv-profile] [chain|cold]
//
// Renders the whole input (pieces = 1) or that many equal parts, as a split does: in one
// render that reads the source once and writes each part into a file of its own, and prints
// the wall-clock seconds of the whole job on standard output. With "chain" each piece is a
// render of its own, started from the previous one's completion event (going on reading the
// source where the last one stopped); with "cold" each such render is by an editing
// component of its own as well: every piece opens, seeks and decodes from its keyframe.
#include "components/videoedit/tvideoedit.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <functional>

#include <cstdio>
#include <memory>

using namespace kc;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 4) {
        std::fprintf(stderr, "usage: render_bench <type> <input> <output-prefix> [pieces] [wmv-profile]\n");
        return 2;
    }
    const int type = args.at(1).toInt();
    const QString input = args.at(2);
    const QString prefix = args.at(3);
    const int pieces = args.size() > 4 ? std::max(1, args.at(4).toInt()) : 1;
    const int profile = args.size() > 5 ? args.at(5).toInt() : 0;
    const QString how = args.size() > 6 ? args.at(6) : QString();
    const bool cold = how == QLatin1String("cold");
    const bool oneByOne = cold || how == QLatin1String("chain");

    auto editor = std::make_unique<TVideoEdit>();
    const double duration = editor->GetFileDuration(input);
    if (duration <= 0) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(input));
        return 1;
    }
    const QString ext = type == 8 ? QStringLiteral(".avi") : type == 9 ? QStringLiteral(".wmv") : QStringLiteral(".mpg");
    int piece = 0;
    int status = 0;
    QElapsedTimer timer;

    std::function<void(bool, const QString &)> completed;
    // As the window writes them for each piece (the page defaults: keep-aspect scaling).
    auto start = [&]() {
        if (cold && piece > 0) {
            editor.release()->deleteLater(); // still inside its completion event
            editor = std::make_unique<TVideoEdit>();
            QObject::connect(editor.get(), &TVideoEdit::OnComplete, completed);
        }
        TVideoEdit &edit = *editor;
        edit.setOutputType(type);
        if (type == 9)
            edit.setWMVProfile(profile);
        edit.setVideoSampleSize(24);
        edit.InitControl();
        if (pieces > 1 && !oneByOne) {
            QStringList outs;
            for (int i = 0; i < pieces; ++i) {
                const double a = duration * i / pieces;
                const double b = duration * (i + 1) / pieces;
                edit.AddVideo(input, a, b, type <= 5 ? 2 : 0);
                edit.AddAudio(input, a, b);
                outs << prefix + QStringLiteral("_%1").arg(i + 1) + ext;
            }
            piece = pieces - 1; // one completion ends them all
            if (!edit.SavePieces(outs)) {
                std::fprintf(stderr, "SavePieces failed: %s\n", qPrintable(edit.LastError()));
                status = 1;
                app.quit();
            }
            return;
        }
        const double a = duration * piece / pieces;
        const double b = duration * (piece + 1) / pieces;
        edit.AddVideo(input, a, b, type <= 5 ? 2 : 0);
        edit.AddAudio(input, a, b);
        const QString out = pieces == 1 ? prefix + ext : prefix + QStringLiteral("_%1").arg(piece + 1) + ext;
        if (!edit.Save(out)) {
            std::fprintf(stderr, "Save failed: %s\n", qPrintable(edit.LastError()));
            status = 1;
            app.quit();
        }
    };
    completed = [&](bool ok, const QString &reason) {
        if (!ok) {
            std::fprintf(stderr, "render failed: %s\n", qPrintable(reason));
            status = 1;
            app.quit();
            return;
        }
        if (++piece < pieces)
            start();
        else
            app.quit();
    };
    QObject::connect(editor.get(), &TVideoEdit::OnComplete, completed);
    timer.start();
    start();
    if (status == 0)
        app.exec();
    if (status == 0)
        std::printf("%.3f\n", timer.elapsed() / 1000.0);
    return status;
}
