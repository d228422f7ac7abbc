// The library's entry when the dynamic loader maps it into a process and
// unmaps it again.
#include "trace.h"

namespace {

__attribute__((constructor)) void on_process_attach() {
  tessil::notice_process_attach();
}
__attribute__((destructor)) void on_process_detach() {
  tessil::notice_process_detach();
}

}  // namespace
