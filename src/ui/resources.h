#pragma once

namespace ostrel::ui {

// Registers the compiled-in images (icons and toolbar pictures).
void init_resources();

}  // namespace ostrel::ui
