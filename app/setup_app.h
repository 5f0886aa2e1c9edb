// The program's application object: runs the wizard's pages and ends.
#pragma once

#include "framework/application.h"

namespace setup {

class SetupApp : public Application {
public:
    bool InitInstance() override;
};

}  // namespace setup
