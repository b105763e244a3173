"""Argument objects that misbehave in the ways real callers' objects can: ints
and floats by protocol, protocols that raise or return the wrong type, and
sequences that fail while iterating or lie about their length. Shared by the
hostile-input and the leak tests."""


class Boom(Exception):
    """Raised by the inputs' own code."""


class Abort(BaseException):
    """Raised by the inputs' own code, outside the Exception hierarchy."""


def failure(kind, where):
    return (Boom if kind == "boom" else Abort)(where)


def fail(kind, where):
    raise failure(kind, where)


class Index:
    """__index__ returns `value`, which need not be an int."""

    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


class IndexRaises:
    def __init__(self, error):
        self.error = error

    def __index__(self):
        # a fresh traceback each time: re-raising an instance extends its old one
        raise self.error.with_traceback(None)


class Weight:
    """__float__ returns `value`, which need not be a float."""

    def __init__(self, value):
        self.value = value

    def __float__(self):
        return self.value


class WeightRaises:
    def __init__(self, error):
        self.error = error

    def __float__(self):
        raise self.error.with_traceback(None)


class FailingSequence:
    """Yields `items`, then raises."""

    def __init__(self, items):
        self.items = items
        self.error = Boom("iteration")

    def __len__(self):
        return len(self.items)

    def __getitem__(self, i):
        return self.items[i]

    def __iter__(self):
        yield from self.items
        raise self.error.with_traceback(None)


class LyingLength:
    """Claims a huge length; holds a few items."""

    def __init__(self, items):
        self.items = items

    def __len__(self):
        return 2**62

    def __getitem__(self, i):
        return self.items[i]
