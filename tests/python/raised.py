"""What a call raises, for tables of error cases."""
import pytest


def raised(error, call):
    """The text and the notes of the `error` that `call()` raises."""
    with pytest.raises(error) as exc_info:
        call()
    return str(exc_info.value), getattr(exc_info.value, "__notes__", [])
