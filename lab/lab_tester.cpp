#include "lab/lab_tester.h"

namespace ralvex::lab {

bool LinkTester::Reopen() {
  if (link_.Open(serial_.c_str())) return true;
  // A failed open keeps no thread or device for the next attempt.
  link_.Close();
  return false;
}

}  // namespace ralvex::lab
