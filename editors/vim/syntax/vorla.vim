" Vim syntax file for vorla scripts (*.vl).
" Install: copy editors/vim/syntax and editors/vim/ftdetect into ~/.vim (or a plugin directory).

if exists("b:current_syntax")
  finish
endif

syntax case match

" Reserved words. `unsigned` is only ever the first half of the type `unsigned int`.
syntax keyword vorlaType bool unsigned int float double string nil ref typeid bad_cast range_error
syntax keyword vorlaContainer vector list hash timer
syntax keyword vorlaConditional if else
syntax keyword vorlaRepeat while
syntax keyword vorlaStatement return break continue
syntax keyword vorlaException try catch throw
syntax keyword vorlaStructure process inline class operator using
syntax keyword vorlaBoolean true false
syntax keyword vorlaThis this

" #include "file" or #include <file>
syntax match vorlaInclude "#include\s*\(<[^<>]\+>\|\"[^\"]\+\"\)" contains=vorlaIncludePath
syntax match vorlaIncludePath "\(<[^<>]\+>\|\"[^\"]\+\"\)" contained

" Literals: reals need a signed exponent when they have no point (1e+5, not 1e5).
syntax match vorlaNumber "\<\d\+[uU]\=\>"
syntax match vorlaNumber "\<0[xX]\x\+[uU]\=\>"
syntax match vorlaFloat "\<\d\+[eE][+-]\d\+[fF]\=\>"
syntax match vorlaFloat "\(\<\d\+\)\=\.\d\+\([eE][+-]\d\+\)\=[fF]\=\>"
syntax match vorlaFloat "\<\d\+\.\d*\([eE][+-]\d\+\)\=[fF]\="
syntax region vorlaString start=+"+ skip=+\\.+ end=+"+ contains=vorlaEscape
syntax match vorlaEscape "\\." contained

" Operators: there are no bitwise, shift, conditional, postfix or indexing operators.
syntax match vorlaOperator "::\|++\|--\|&&\|||\|==\|!=\|>=\|<=\|[-+*/%]=\|[-+*/%=<>!&]"

syntax region vorlaComment start="/\*" end="\*/"
syntax match vorlaComment "//.*$"

highlight default link vorlaType Type
highlight default link vorlaContainer Type
highlight default link vorlaConditional Conditional
highlight default link vorlaRepeat Repeat
highlight default link vorlaStatement Statement
highlight default link vorlaException Exception
highlight default link vorlaStructure Structure
highlight default link vorlaBoolean Boolean
highlight default link vorlaThis Keyword
highlight default link vorlaInclude Include
highlight default link vorlaIncludePath String
highlight default link vorlaNumber Number
highlight default link vorlaFloat Float
highlight default link vorlaString String
highlight default link vorlaEscape SpecialChar
highlight default link vorlaOperator Operator
highlight default link vorlaComment Comment

let b:current_syntax = "vorla"
