#include "platform/Form.h"
#include "platform/Twips.h"
#include "support/Fakes.h"
#include "support/TestMain.h"
#include "support/Widgets.h"

#include <QKeyEvent>

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
    void onLoad() override { ++counts.loads; }
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

    void loadsOnceAndKeepsOneInstance()
    {
        QVERIFY(!A::isLoaded());
        A* first = A::instance();
        QCOMPARE(A::counts.loads, 1);
        QVERIFY2(!first->isVisible(), "loading does not show the window");
        QCOMPARE(A::instance(), first);
        QCOMPARE(A::constructed, 1);
        QCOMPARE(first->client()->size(), Twips::size(3000, 1500));
        QCOMPARE(first->size(), Twips::size(3000, 1500));
    }

    void activationRunsWhenComingFromAnotherWindowOfTheProgram()
    {
        A* a = A::instance();
        a->showForm();
        QTRY_COMPARE(A::counts.activations, 1);
        B* b = B::instance();
        b->showForm();
        QTRY_COMPARE(B::counts.activations, 1);
        QVERIFY(activate(a));
        QTRY_COMPARE(A::counts.activations, 2);
        QCOMPARE(Form::lastActive(), a);
    }

    void noActivationAfterADialogOrAnotherApplication()
    {
        A* a = A::instance();
        a->showForm();
        QTRY_COMPARE(A::counts.activations, 1);
        // A message box, a file dialog, the help viewer or another application: none is a
        // window of the program's own.
        QWidget other;
        other.resize(100, 100);
        QVERIFY(activate(&other));
        QVERIFY(activate(a));
        QTest::qWait(20);
        QCOMPARE(A::counts.activations, 1);
    }

    void normalStateRestoresAndShowBringsToFront()
    {
        A* a = A::instance();
        a->showForm();
        a->showMinimized();
        QVERIFY(a->windowState() & Qt::WindowMinimized);
        a->showForm();
        QVERIFY2(a->windowState() & Qt::WindowMinimized, "show alone leaves a minimised window minimised");
        a->setNormalState();
        a->showForm();
        QVERIFY(!(a->windowState() & Qt::WindowMinimized));
        a->showMaximized();
        a->setNormalState();
        QVERIFY(!(a->windowState() & Qt::WindowMaximized));
    }

    void unloadDestroysAndTheNextUseLoadsAfresh()
    {
        A* a = A::instance();
        a->showForm();
        QPointer<A> old(a);
        A::unloadIfLoaded();
        QCOMPARE(A::counts.unloads, 1);
        QVERIFY(!A::isLoaded());
        QCOMPARE(A::ifLoaded(), nullptr);
        A::unloadIfLoaded();
        QCOMPARE(A::counts.unloads, 1);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(old.isNull());
        A* again = A::instance();
        QCOMPARE(A::counts.loads, 2);
        QVERIFY(again->isUnloaded() == false);
    }

    void closingAWindowThatWasNeverShownRunsItsUnload()
    {
        A::instance();
        A::unloadIfLoaded();
        QCOMPARE(A::counts.unloads, 1);
        QVERIFY(!A::isLoaded());
    }

    void f1OpensTheHelpAtTheWindowsTopic()
    {
        HelpViewer::setApplicationHelpFile(QStringLiteral("/opt/orvalent/ｵﾙﾊﾞﾚﾝﾄ.HLP"));
        A* a = A::instance();
        a->showForm();
        QVERIFY(QTest::qWaitForWindowActive(a));
        QTest::keyClick(a, Qt::Key_F1);
        QCOMPARE(fakes->helpViewer.shown.size(), 1);
        QCOMPARE(fakes->helpViewer.shown.first().path, QStringLiteral("/opt/orvalent/ｵﾙﾊﾞﾚﾝﾄ.HLP"));
        QCOMPARE(fakes->helpViewer.shown.first().topic, QStringLiteral("W1"));
    }
};

ORV_TEST_MAIN(TestForm)
#include "tst_form.moc"
