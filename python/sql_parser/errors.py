"""The error the SQL parser raises."""

__all__ = ["ParseError"]


class ParseError(ValueError):
    """Text that is not a query of the supported grammar.

    ``str(e)`` is one line: ``Expecting X, found "Y" (at char N), (line:L, col:C)``.
    ``offset`` is N (characters from 0, as the text is indexed), ``line`` and
    ``column`` count from 1; ``expecting`` and ``found`` are X and Y.
    """

    def __init__(self, message, line=1, column=1, offset=0, expecting="", found=""):
        super().__init__(message)
        self.message = message
        self.line = line
        self.column = column
        self.offset = offset
        self.expecting = expecting
        self.found = found

    def __reduce__(self):
        return (
            type(self),
            (self.message, self.line, self.column, self.offset, self.expecting, self.found),
        )

    def _key(self):
        return (self.message, self.line, self.column, self.offset)

    def __eq__(self, other):
        if not isinstance(other, ParseError):
            return NotImplemented
        return self._key() == other._key()

    def __hash__(self):
        return hash(self._key())

    def __repr__(self):
        return f"{type(self).__name__}({self.message!r})"
