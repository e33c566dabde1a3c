// The About box, shown from the menu's system menu.
#pragma once
#include "Dialog.h"
#include "resource.h"

class AboutDialog : public winui::Dialog {
public:
    AboutDialog() : winui::Dialog(IDD_ABOUTBOX) {}
};
