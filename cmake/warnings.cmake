# lumivane_warnings(target): the warning set every target of ours builds with.
function(lumivane_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
endfunction()
