// What a page's modal loop ends with. Kept free of <windows.h> so the page
// loop, which only decides between pages, builds and is tested anywhere.
#pragma once

namespace setup {

// The dialog results of OK and Cancel (IDOK, IDCANCEL): forward or done, and
// back or quit. Any other value, such as -1 for a page that could not be
// created, is neither.
constexpr int kPageOk = 1;
constexpr int kPageCancel = 2;

}  // namespace setup
