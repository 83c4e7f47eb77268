#include "support/Fakes.h"
#include "support/TestMain.h"
#include "support/Widgets.h"
#include "widgets/Appearance.h"
#include "widgets/Form.h"
#include "widgets/Twips.h"

#include <QIcon>
#include <QImage>
#include <QPixmap>

namespace {

struct Counts
{
    int loads = 0;
    int activations = 0;
    int unloads = 0;
};

template <int N> class Window : public SingleForm<Window<N>>
{
public:
    Window() : SingleForm<Window<N>>(QStringLiteral("W%1").arg(N), QStringLiteral("window"), 3000, 1500)
    {
        ++constructed;
    }
    static inline Counts counts;
    static inline int constructed = 0;

protected:
    Result onLoad() override
    {
        ++counts.loads;
        return Result::success();
    }
    void onActivate() override { ++counts.activations; }
    void onUnload() override { ++counts.unloads; }
};

using A = Window<1>;
using B = Window<2>;

} // namespace

class TestForm : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<PlatformFakes> fakes;

private Q_SLOTS:
    void init()
    {
        fakes = std::make_unique<PlatformFakes>();
        A::counts = {};
        B::counts = {};
        A::constructed = B::constructed = 0;
    }

    void cleanup()
    {
        closeAllForms();
        fakes.reset();
    }

    void loadsOnceAndUnloadLoadsAfresh()
    {
        A* first = A::instance();
        QCOMPARE(A::instance(), first);
        QCOMPARE(A::constructed, 1);
        QCOMPARE(A::counts.loads, 1);
        QVERIFY2(!first->isVisible(), "loading does not show the window");
        QCOMPARE(first->size(), Twips::size(3000, 1500));
        // A window that was never shown still runs its unload when it closes.
        QPointer<A> old(first);
        A::unloadIfLoaded();
        A::unloadIfLoaded();
        QCOMPARE(A::counts.unloads, 1);
        QVERIFY(!A::isLoaded());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(old.isNull());
        A::instance();
        QCOMPARE(A::counts.loads, 2);
    }

    void activationOnlyWhenComingFromAnotherWindowOfTheProgram()
    {
        A* a = A::instance();
        a->showForm();
        QTRY_COMPARE(A::counts.activations, 1);
        B::instance()->showForm();
        QTRY_COMPARE(B::counts.activations, 1);
        QVERIFY(activate(a));
        QTRY_COMPARE(A::counts.activations, 2);
        // A message box, a file dialog, the help viewer or another application is not a
        // window of the program's own: coming back from it is no activation.
        QWidget other;
        other.resize(100, 100);
        QVERIFY(activate(&other));
        QVERIFY(activate(a));
        QTest::qWait(20);
        QCOMPARE(A::counts.activations, 2);
    }

    // The navigation pictures show their shape only: on any button face, at any scale, no
    // square of another grey shows around it.
    void navigationPicturesShowTheirShapeOnly_data()
    {
        QTest::addColumn<int>("which");
        QTest::addColumn<int>("size");
        for (int which = 0; which < 4; ++which)
            for (int size : {16, 32})
                QTest::addRow("picture %d at %d px", which, size) << which << size;
    }

    void navigationPicturesShowTheirShapeOnly()
    {
        QFETCH(int, which);
        QFETCH(int, size);
        const QImage picture = Appearance::navigationIcon(Appearance::Navigation(which))
                                   .pixmap(QSize(size, size))
                                   .toImage()
                                   .convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(picture.size(), QSize(size, size));
        for (const QPoint corner : {QPoint(0, 0), QPoint(size - 1, 0), QPoint(0, size - 1), QPoint(size - 1, size - 1)})
            QCOMPARE(qAlpha(picture.pixel(corner)), 0);
        int shape = 0;
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x)
                shape += qAlpha(picture.pixel(x, y)) > 200 && qGray(picture.pixel(x, y)) < 64;
        QVERIFY2(shape > size * size / 10, qPrintable(QString::number(shape)));
    }
};

ORV_TEST_MAIN(TestForm)
#include "tst_form.moc"
