
   	
; nothing but comments
# and blank lines

   ;; the last line has no newline