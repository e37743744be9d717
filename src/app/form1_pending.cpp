// Handlers whose logic is not in the window yet: they do nothing. Each moves out into its own
// form1_*.cpp file when it is written.
#include "app/form1.h"

namespace app {


} // namespace app
