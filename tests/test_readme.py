"""The README's examples print what it says they print."""
import doctest
import pathlib

import pytest

README = pathlib.Path(__file__).resolve().parent.parent / "README.md"


@pytest.mark.skipif(not README.is_file(), reason="tests run apart from the source tree")
def test_readme_examples_give_the_shown_output():
    test = doctest.DocTestParser().get_doctest(README.read_text(), {}, "README.md", str(README), 0)
    assert test.examples, "README has no >>> examples"
    runner = doctest.DocTestRunner(optionflags=doctest.ELLIPSIS)
    report = []
    runner.run(test, out=report.append)
    assert runner.failures == 0, "".join(report)
