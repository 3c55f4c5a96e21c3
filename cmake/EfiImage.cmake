# Builds a PE32 EFI application for IA32 from C++ sources with clang and lld-link.
find_program(TOUCH_CLANGXX NAMES clang++ clang++-14 REQUIRED)
find_program(TOUCH_LLD_LINK NAMES lld-link lld-link-14 REQUIRED)

set(TOUCH_EFI_CXX_FLAGS
  --target=i686-unknown-windows -std=c++17 -ffreestanding -fno-exceptions -fno-rtti
  -fno-threadsafe-statics -fno-stack-protector -mno-stack-arg-probe -fno-builtin
  -fshort-wchar -O2 -Wall -Wextra -Wframe-larger-than=4096 -Werror=frame-larger-than
  -I${CMAKE_SOURCE_DIR})

function(add_efi_image NAME ENTRY)
  set(objects)
  set(objdir "${CMAKE_BINARY_DIR}/efi/${NAME}")
  foreach(src ${ARGN})
    file(RELATIVE_PATH rel "${CMAKE_SOURCE_DIR}" "${src}")
    if(rel MATCHES "^\\.\\.")
      file(RELATIVE_PATH rel "${CMAKE_BINARY_DIR}" "${src}")
    endif()
    string(REPLACE "/" "_" flat "${rel}")
    set(obj "${objdir}/${flat}.obj")
    add_custom_command(
      OUTPUT "${obj}"
      COMMAND ${CMAKE_COMMAND} -E make_directory "${objdir}"
      COMMAND ${TOUCH_CLANGXX} ${TOUCH_EFI_CXX_FLAGS} -MD -MF "${obj}.d" -c "${src}" -o "${obj}"
      DEPENDS "${src}"
      DEPFILE "${obj}.d"
      COMMENT "IA32 ${rel}")
    list(APPEND objects "${obj}")
  endforeach()
  set(out "${CMAKE_BINARY_DIR}/${NAME}.efi")
  add_custom_command(
    OUTPUT "${out}"
    COMMAND ${TOUCH_LLD_LINK} /nologo /subsystem:efi_application /entry:${ENTRY}
            /nodefaultlib /machine:x86 /safeseh:no /out:${out} ${objects}
    DEPENDS ${objects}
    COMMENT "Linking ${NAME}.efi")
  add_custom_target(${NAME}_efi ALL DEPENDS "${out}")
endfunction()
