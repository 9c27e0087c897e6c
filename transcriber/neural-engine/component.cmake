# The Corvane encoder add-on, linked into the engine: the engine's state hooks call it.
# Included by cmake/engine.cmake right after the engine's targets exist, so that every
# program linking `whisper` (LumivaneSpeech, the model tools) gets the hooks resolved.
add_library(lumivane_corvane STATIC "${CMAKE_CURRENT_LIST_DIR}/whisper-corvane.cpp")
target_include_directories(lumivane_corvane PUBLIC "${CMAKE_CURRENT_LIST_DIR}")
target_link_libraries(lumivane_corvane PRIVATE ggml ${CMAKE_DL_LIBS})
lumivane_warnings(lumivane_corvane)

target_include_directories(whisper PRIVATE "${CMAKE_CURRENT_LIST_DIR}")
target_link_libraries(whisper PRIVATE lumivane_corvane)
