#include "jobs/kit/run_context.h"

namespace pos {

UpdateMode update_mode(int item_index) {
  switch (item_index) {
    case 0:
      return UpdateMode::Changes;
    case 1:
      return UpdateMode::Full;
    default:
      return UpdateMode::None;
  }
}

}  // namespace pos
