#include "support/WindowTestFixture.h"
#include "core/BackgroundTask.h"

bool WindowTestFixture::setUp(MemoBook::Tables tables)
{
    fakes = std::make_unique<PlatformFakes>();
    book = std::make_unique<MemoBook>(tables);
    return book->isValid();
}

void WindowTestFixture::tearDown()
{
    // Work a test set going (the check of start-up's backup) ends within the test.
    BackgroundTask::waitForAll();
    closeAllForms();
    if (fakes)
        fakes->verifyAllAnswered();
    book.reset();
    fakes.reset();
}
