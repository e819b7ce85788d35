// Temporary: keeps the tree building until the mpv player lands.
#include "tmovieplayer.h"

namespace kc {
struct TMoviePlayer::Private {
    QString file;
};
TMoviePlayer::TMoviePlayer(QWidget *parent) : QOpenGLWidget(parent), d(new Private) {}
TMoviePlayer::~TMoviePlayer() = default;
QString TMoviePlayer::FileName() const { return d->file; }
void TMoviePlayer::setFileName(const QString &f) { d->file = f; }
double TMoviePlayer::Duration() const { return 0; }
void TMoviePlayer::Play() {}
void TMoviePlayer::Stop() {}
void TMoviePlayer::Pause() {}
void TMoviePlayer::SetPos(double) {}
} // namespace kc
