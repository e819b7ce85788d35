#include "icons.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

// The resources of a static library are linked only when something names them.
static void initProgramIconResource()
{
    Q_INIT_RESOURCE(icon);
}

namespace kc {

QIcon ProgramIcon()
{
    initProgramIconResource();
    QIcon icon;
    icon.addFile(QStringLiteral(":/kestrelcut/icon-48.png"), QSize(48, 48));
    icon.addFile(QStringLiteral(":/kestrelcut/icon-256.png"), QSize(256, 256));
    return icon;
}

namespace {
const QColor kInk(0x2b, 0x4f, 0x81);
const QColor kAccent(0xe8, 0x7a, 0x1e);
// A light rim keeps the dark transport pictures visible on dark skins too.
const QPen kHalo(QColor(0xf4, 0xf7, 0xfb), 1.6);

void drawFilm(QPainter &p, const QRectF &r)
{
    p.setPen(QPen(kInk, 2));
    p.setBrush(QColor(0xdd, 0xe8, 0xf5));
    p.drawRoundedRect(r, 3, 3);
    p.setBrush(kInk);
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 4; ++i) {
        const qreal y = r.top() + 3 + i * (r.height() - 8) / 3.0;
        p.drawRect(QRectF(r.left() + 2, y, 3, 3));
        p.drawRect(QRectF(r.right() - 5, y, 3, 3));
    }
}

QPixmap paint(ButtonPicture picture, int size)
{
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    switch (picture) {
    case ButtonPicture::Add:
        drawFilm(p, QRectF(3, 6, 22, 20));
        p.setPen(QPen(kAccent, 4, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(24, 16), QPointF(24, 28));
        p.drawLine(QPointF(18, 22), QPointF(30, 22));
        break;
    case ButtonPicture::Split:
        drawFilm(p, QRectF(2, 8, 12, 18));
        drawFilm(p, QRectF(18, 8, 12, 18));
        p.setPen(QPen(kAccent, 2, Qt::DashLine));
        p.drawLine(QPointF(16, 3), QPointF(16, 30));
        break;
    case ButtonPicture::Stop:
    case ButtonPicture::PreviewStop:
        p.setPen(picture == ButtonPicture::Stop ? QPen(Qt::NoPen) : kHalo);
        p.setBrush(picture == ButtonPicture::Stop ? QColor(0xc6, 0x28, 0x28) : kInk);
        p.drawRoundedRect(QRectF(7, 7, 18, 18), 3, 3);
        break;
    case ButtonPicture::Skin: {
        p.setPen(QPen(kInk, 2));
        p.setBrush(QColor(0xf3, 0xe3, 0xc3));
        QPainterPath palette;
        palette.addEllipse(QRectF(3, 5, 26, 22));
        p.drawPath(palette);
        const QColor dots[] = {QColor(0xc6, 0x28, 0x28), QColor(0x2e, 0x7d, 0x32), QColor(0x15, 0x65, 0xc0), kAccent};
        const QPointF at[] = {{10, 12}, {16, 9.5}, {22, 12}, {21, 19}};
        p.setPen(Qt::NoPen);
        for (int i = 0; i < 4; ++i) {
            p.setBrush(dots[i]);
            p.drawEllipse(at[i], 2.6, 2.6);
        }
        break;
    }
    case ButtonPicture::Help: {
        p.setPen(QPen(kInk, 2));
        p.setBrush(QColor(0xdd, 0xe8, 0xf5));
        p.drawEllipse(QRectF(3, 3, 26, 26));
        QFont f;
        f.setPixelSize(20);
        f.setBold(true);
        p.setFont(f);
        p.drawText(QRectF(3, 3, 26, 26), Qt::AlignCenter, QStringLiteral("?"));
        break;
    }
    case ButtonPicture::Tool: {
        drawFilm(p, QRectF(2, 8, 18, 18));
        QPainterPath bolt;
        bolt.moveTo(24, 2);
        bolt.lineTo(17, 17);
        bolt.lineTo(23, 17);
        bolt.lineTo(19, 30);
        bolt.lineTo(30, 13);
        bolt.lineTo(24, 13);
        bolt.closeSubpath();
        p.setPen(QPen(kInk, 1));
        p.setBrush(kAccent);
        p.drawPath(bolt);
        break;
    }
    case ButtonPicture::Play: {
        QPainterPath tri;
        tri.moveTo(9, 6);
        tri.lineTo(26, 16);
        tri.lineTo(9, 26);
        tri.closeSubpath();
        p.setPen(kHalo);
        p.setBrush(kInk);
        p.drawPath(tri);
        break;
    }
    case ButtonPicture::Pause:
        p.setPen(kHalo);
        p.setBrush(kInk);
        p.drawRect(QRectF(8, 6, 6, 20));
        p.drawRect(QRectF(18, 6, 6, 20));
        break;
    }
    return pm;
}
} // namespace

QIcon ButtonIcon(ButtonPicture picture)
{
    QIcon icon;
    for (int size : {16, 24, 32, 48})
        icon.addPixmap(paint(picture, size));
    return icon;
}

QPixmap SplashPicture()
{
    QPixmap pm(380, 242);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, 242);
    sky.setColorAt(0, QColor(0x1d, 0x3b, 0x66));
    sky.setColorAt(1, QColor(0x5b, 0x8f, 0xc9));
    p.fillRect(pm.rect(), sky);
    // A strip of film cut in two.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 40));
    p.drawRect(QRectF(0, 150, 170, 46));
    p.drawRect(QRectF(210, 150, 170, 46));
    p.setBrush(QColor(255, 255, 255, 90));
    for (int x = 8; x < 380; x += 22) {
        if (x > 160 && x < 215)
            continue;
        p.drawRect(QRectF(x, 154, 10, 6));
        p.drawRect(QRectF(x, 186, 10, 6));
    }
    p.setPen(QPen(kAccent, 3, Qt::DashLine));
    p.drawLine(QPointF(190, 135), QPointF(190, 210));
    QFont title;
    title.setPixelSize(40);
    title.setBold(true);
    p.setFont(title);
    p.setPen(Qt::white);
    p.drawText(QRectF(0, 40, 380, 50), Qt::AlignCenter, QStringLiteral("Kestrelcut"));
    QFont sub;
    sub.setPixelSize(16);
    p.setFont(sub);
    p.setPen(QColor(0xe0, 0xea, 0xf6));
    p.drawText(QRectF(0, 92, 380, 26), Qt::AlignCenter, QStringLiteral("视频分割"));
    return pm;
}

} // namespace kc
