#pragma once

namespace ombrix {

// Every label reaches a screen reader by the text it shows, also when that
// text is empty: Qt would read an empty label by the title of its frame.
void installLabelAccessibility();

} // namespace ombrix
