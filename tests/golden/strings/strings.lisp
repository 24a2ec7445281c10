; Pieces come back last first; empty pieces are kept.
(print (list (split "a,b,c" ",") (split "abc" ",") (split "" ",") (split ",a" ",") (split "a,,b" ",")))
(print (list (split "a::b:::c" "::") (split "aaa" "aa")))
(print (list (join '("a" "b" "c") ", ") (join nil "-") (join '("x") "-") (join '("" "") "+")))
(print (list (substring "hello" 1 3) (substring "hello" 2 100) (substring "hello" 4 2) (substring "hello" 0 5)))
(print (list (substring "hello" 0 9) (substring "hello" 7 9) (substring "" 0 0)))
(print (list (strip "  a b \n") (strip "	
") (strip "x") (strip " ")))
(print (list (string-contains "abc" "") (string-contains "abc" "cb") (string-contains "abc" "bc") (string-contains "" "a")))
(print (list (length "") (length "hello") (length "a\nb")))
(print (list (= (to-symbol "foo") 'foo) (to-symbol "two words") (length (to-string (to-symbol "")))))
(print (list (at "abc" 0) (at "abc" 2) (+ "ab" "cd") (+ "" "")))
