`(a (unquote))
