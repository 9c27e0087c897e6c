# The speech engine (whisper.cpp) and its tensor library (ggml), built from the sources
# that scripts/fetch-engine.sh lays out in .deps/whisper.cpp: static libraries, CPU back
# end tuned for the build machine, OpenMP on, none of the engine's own programs.
set(LUMIVANE_ENGINE_DIR "${PROJECT_SOURCE_DIR}/.deps/whisper.cpp" CACHE PATH "Extracted engine sources")
if(NOT EXISTS "${LUMIVANE_ENGINE_DIR}/include/whisper.h")
  message(FATAL_ERROR "Engine sources missing in ${LUMIVANE_ENGINE_DIR}: run scripts/fetch-engine.sh")
endif()

set(BUILD_SHARED_LIBS OFF CACHE BOOL "" FORCE)
set(WHISPER_BUILD_TESTS OFF CACHE BOOL "" FORCE)
set(WHISPER_BUILD_EXAMPLES OFF CACHE BOOL "" FORCE)
set(WHISPER_BUILD_SERVER OFF CACHE BOOL "" FORCE)
set(WHISPER_ALL_WARNINGS OFF CACHE BOOL "" FORCE)
set(GGML_NATIVE ON CACHE BOOL "" FORCE)
set(GGML_OPENMP ON CACHE BOOL "" FORCE)
set(GGML_BLAS OFF CACHE BOOL "" FORCE)
set(GGML_BACKEND_DL OFF CACHE BOOL "" FORCE)
set(GGML_BUILD_TESTS OFF CACHE BOOL "" FORCE)
set(GGML_BUILD_EXAMPLES OFF CACHE BOOL "" FORCE)

# The engine is not our code: build it without our warning set, out of the default target
# so only what we link is compiled.
add_subdirectory("${LUMIVANE_ENGINE_DIR}" "${CMAKE_BINARY_DIR}/engine" EXCLUDE_FROM_ALL SYSTEM)

# The Neural Engine encoder add-on, which the engine's state hooks call.
include("${PROJECT_SOURCE_DIR}/transcriber/neural-engine/component.cmake")

# Decoders that ship beside the engine (miniaudio and stb_vorbis).
set(LUMIVANE_DECODER_DIR "${LUMIVANE_ENGINE_DIR}/examples")
