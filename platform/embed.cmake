# Turns a text file into a C++ raw string literal include.
file(READ ${IN} content)
file(WRITE ${OUT} "R\"__rdmsql__(${content})__rdmsql__\"\n")
