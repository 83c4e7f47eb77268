#include "startup/I_VER.h"

#include "platform/Appearance.h"
#include "platform/Twips.h"
#include "startup/ORVAM.h"

#include <QLabel>
#include <QPushButton>

I_VER::I_VER()
    : SingleForm(QStringLiteral("I_VER"), QStringLiteral("オルバレントのﾊﾞｰｼﾞｮﾝ情報"), 3792, 912)
{
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    auto* image = new QLabel(client());
    image->setObjectName(QStringLiteral("Image1"));
    Twips::place(image, 120, 120, 384, 384);
    image->setPixmap(Appearance::programIcon().pixmap(32, 32));
    image->setScaledContents(true);

    auto* version = new QLabel(QStringLiteral("オルバレント　Ｖｅｒｓｉｏｎ　２．０１"), client());
    version->setObjectName(QStringLiteral("Label1"));
    version->setFont(Appearance::mincho(10.2));
    version->setStyleSheet(QStringLiteral("color: #0000FF;"));
    Twips::place(version, 600, 240, 3012, 252);
    Appearance::fitToWidth(version, version->text());

    auto* maker = new QLabel(QStringLiteral("オルバレント開発チーム"), client());
    maker->setObjectName(QStringLiteral("Label2"));
    Twips::place(maker, 600, 600, 2292, 252);

    auto* ok = new QPushButton(QStringLiteral("OK"), client());
    ok->setObjectName(QStringLiteral("Command1"));
    Twips::place(ok, 3000, 600, 732, 252);
    connect(ok, &QPushButton::clicked, this, &Form::unload);
}

void I_VER::onLoad()
{
    // Left-aligned with the main window, the bottom edge on the main window's top edge.
    // The frame is measured on the main window: this one is not shown yet.
    ORVAM* main = ORVAM::ifLoaded();
    if (!main)
        return;
    const QRect mainFrame = main->frameGeometry();
    const int outerHeight = height() + (mainFrame.height() - main->height());
    move(mainFrame.left(), mainFrame.top() - outerHeight);
}
