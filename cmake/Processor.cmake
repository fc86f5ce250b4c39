# The processor being built for, by the names the bundle and the effect use for it:
#   LUMASHIFT_PROCESSOR        the bundle's folder for this processor's program
#   LUMASHIFT_PROCESSOR_LABEL  the processor as the effect's version text names it
# Foreign processors come from the toolchain files in cmake/toolchains/.
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$")
  set(LUMASHIFT_PROCESSOR x86_64)
  set(LUMASHIFT_PROCESSOR_LABEL i386)
elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64|ARM64)$")
  set(LUMASHIFT_PROCESSOR aarch64)
  set(LUMASHIFT_PROCESSOR_LABEL ARM64)
elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(powerpc|ppc)$")
  set(LUMASHIFT_PROCESSOR powerpc)
  set(LUMASHIFT_PROCESSOR_LABEL PPC)
else()
  message(FATAL_ERROR "No bundle folder is defined for the processor '${CMAKE_SYSTEM_PROCESSOR}'")
endif()
add_compile_definitions(PLATFORM_PROCESSOR_FOLDER="${LUMASHIFT_PROCESSOR}"
                        CPLUGPROCESSOR="${LUMASHIFT_PROCESSOR_LABEL}")
