#include "WindowFixture.h"
#include "ui/PortOpener.h"

namespace quillon::ui::test {

PortOpener TestPortOpener() { return WindowPortOpener(); }

}  // namespace quillon::ui::test
