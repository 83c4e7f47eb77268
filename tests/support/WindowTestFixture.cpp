#include "support/WindowTestFixture.h"

bool WindowTestFixture::setUp(MemoBook::Tables tables)
{
    fakes = std::make_unique<PlatformFakes>();
    book = std::make_unique<MemoBook>(tables);
    return book->isValid();
}

void WindowTestFixture::tearDown()
{
    closeAllForms();
    if (fakes)
        fakes->verifyAllAnswered();
    book.reset();
    fakes.reset();
}
