"""Random sequences of accumulator calls against a model register."""
import numpy as np
from hypothesis import HealthCheck, settings
from hypothesis import strategies as st
from hypothesis.stateful import Bundle, RuleBasedStateMachine, invariant, rule

from corvane.arith import AccQ8, AccQ15

from model import dot, wrap

INT32 = st.integers(-2**31, 2**31 - 1)


class AccumulatorMachine(RuleBasedStateMachine):
    """One accumulator and its model value; subclasses pick the family."""

    cls = None
    dtype = None
    sample_bits = 0
    register_bits = 0

    snapshots = Bundle("snapshots")

    def __init__(self):
        super().__init__()
        self.acc = self.cls()
        self.model = 0

    @classmethod
    def samples(cls, max_size=70):
        lo, hi = -(1 << (cls.sample_bits - 1)), (1 << (cls.sample_bits - 1)) - 1
        return st.lists(st.integers(lo, hi), max_size=max_size)

    @classmethod
    def register_values(cls):
        # Values near the register's edges make wrap-around likely; set_acc
        # takes 64-bit integers for both families and keeps the low bits.
        half = 1 << (cls.register_bits - 1)
        edges = st.sampled_from([half - 1, -half, half - 40000, -half + 40000, 2**32 - 1, 2**31])
        return st.one_of(edges, st.integers(-2**63, 2**63 - 1))

    def _add(self, amount):
        self.model = wrap(self.model + amount, self.register_bits)

    @rule(x=INT32)
    def step(self, x):
        self.acc.step(x)
        self._add(wrap(x, self.sample_bits))

    @rule(data=st.data())
    def steps(self, data):
        xs = data.draw(self.samples())
        self.acc.steps(np.array(xs, dtype=self.dtype))
        self._add(sum(xs))

    @rule(data=st.data())
    def madd(self, data):
        a = data.draw(self.samples(40))
        b = data.draw(self.samples(40))
        self.acc.madd(np.array(a, dtype=self.dtype), b)
        self._add(dot(a, b, self.register_bits))

    @rule(data=st.data())
    def set_acc(self, data):
        value = data.draw(self.register_values())
        self.acc.set_acc(value)
        self.model = wrap(value, self.register_bits)

    @rule()
    def dump(self):
        assert self.acc.dump() == self.model
        self.model = 0

    @rule()
    def reset(self):
        self.acc.reset()
        self.model = 0

    @rule(target=snapshots)
    def get_state(self):
        return self.acc.get_state(), self.model

    @rule(snapshot=snapshots)
    def set_state(self, snapshot):
        blob, value = snapshot
        self.acc.set_state(blob)
        self.model = value

    @invariant()
    def register_matches_model(self):
        assert self.acc.get() == self.acc.get_acc() == self.model

    def teardown(self):
        self.acc.destroy()


class Q15Machine(AccumulatorMachine):
    cls, dtype, sample_bits, register_bits = AccQ15, np.int16, 16, 64


class Q8Machine(AccumulatorMachine):
    cls, dtype, sample_bits, register_bits = AccQ8, np.int8, 8, 32


MACHINE_SETTINGS = settings(max_examples=60, stateful_step_count=30, deadline=None, database=None,
                            suppress_health_check=[HealthCheck.too_slow])

TestQ15Register = Q15Machine.TestCase
TestQ15Register.settings = MACHINE_SETTINGS
TestQ8Register = Q8Machine.TestCase
TestQ8Register.settings = MACHINE_SETTINGS
