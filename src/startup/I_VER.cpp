#include "startup/I_VER.h"

#include "startup/ORVAM.h"
#include "widgets/Appearance.h"
#include "widgets/Controls.h"

#include <QLabel>
#include <QPushButton>
#include <QShortcut>

I_VER::I_VER() : SingleForm(QStringLiteral("I_VER"), QStringLiteral("オルバレントのﾊﾞｰｼﾞｮﾝ情報"), 3792, 912)
{
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    QWidget* c = client();
    auto* image = Controls::create<QLabel>(c, QStringLiteral("Image1"), 120, 120, 384, 384);
    image->setPixmap(Appearance::programIcon().pixmap(32, 32));
    image->setScaledContents(true);

    QLabel* version = Controls::label(c, QStringLiteral("Label1"),
                                      QStringLiteral("オルバレント　Ｖｅｒｓｉｏｎ　２．０１"), 600, 240, 3012, 252);
    version->setFont(Appearance::mincho(10.2));
    version->setStyleSheet(QStringLiteral("color: #0000FF;"));
    Controls::fitCaption(version);

    Controls::label(c, QStringLiteral("Label2"), QStringLiteral("オルバレント開発チーム"), 600, 600, 2292, 252);

    QPushButton* ok = Controls::button(c, QStringLiteral("Command1"), QStringLiteral("OK"), 3000, 600, 732, 252);
    connect(ok, &QPushButton::clicked, this, &Form::unload);
    // Escape answers the window as OK does.
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, ok, &QPushButton::click);
}

Result I_VER::onLoad()
{
    // Left-aligned with the main window, the bottom edge on the main window's top edge.
    // The frame is measured on the main window: this one is not shown yet.
    ORVAM* main = ORVAM::ifLoaded();
    if (!main)
        return Result::success();
    const QRect mainFrame = main->frameGeometry();
    const int outerHeight = height() + (mainFrame.height() - main->height());
    move(mainFrame.left(), mainFrame.top() - outerHeight);
    return Result::success();
}
