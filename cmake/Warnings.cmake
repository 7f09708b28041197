# The project's own code builds with these warnings everywhere. They are errors for developers and
# CI (test.sh turns RALVEX_WERROR on); a user or packager with another compiler version is never
# stopped by a warning that compiler has newly learnt.
option(RALVEX_WERROR "Treat compiler warnings as errors" OFF)
add_compile_options(-Wall -Wextra -Wpedantic)
if(RALVEX_WERROR)
  add_compile_options(-Werror)
endif()
