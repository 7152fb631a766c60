" Scripts with the extension .vl are vorla scripts.
autocmd BufRead,BufNewFile *.vl setfiletype vorla
