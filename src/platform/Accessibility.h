#pragma once

// What screen readers are told about the program's windows and fields, beyond what Qt
// tells on its own. Installed once, before the first window is made.
namespace Accessibility {

void install();

} // namespace Accessibility
