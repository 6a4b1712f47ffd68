"""Random strings of SQL tokens, to check that a parser rejects noise.

``soup()`` returns the same list on every run and platform (a fixed-seed
``random.Random``): 3 to 30 tokens each, drawn from keywords, identifiers,
numbers, strings and punctuation, joined by single spaces. A sound parser
accepts only a small share of them; a parser that accepts many is guessing.

    from token_soup import soup
    texts = soup()            # 4,000 strings
"""

import random

__all__ = ["DEFAULT_COUNT", "DEFAULT_SEED", "soup"]

DEFAULT_COUNT = 4000
DEFAULT_SEED = 20240517

KEYWORDS = (
    "SELECT FROM WHERE JOIN ON GROUP BY ORDER AS AND OR NOT IN IS NULL CASE WHEN THEN END "
    "UNION ALL WITH INSERT INTO VALUES UPDATE SET DELETE MERGE CREATE TABLE VIEW"
).split()
IDENTIFIERS = ("a", "b", "t", "x1", "orders", "customer_id", "s.name", '"Quoted Col"', "`tick`", "[br]")
NUMBERS = ("0", "1", "42", "3.14", "1e3", ".5")
STRINGS = ("'x'", "''", "'it''s'", "'2024-01-01'")
PUNCTUATION = ("+", "-", "*", "/", "=", "<", ">", "<>", "(", ")", ",", ".", ";", "::")

# Keywords and punctuation dominate, as they do in SQL text; each class is
# drawn first and then a member of it, so the short lists are not drowned out.
_CLASSES = ((KEYWORDS, 4), (IDENTIFIERS, 3), (NUMBERS, 1), (STRINGS, 1), (PUNCTUATION, 3))
_POOLS = [pool for pool, _ in _CLASSES]
_WEIGHTS = [weight for _, weight in _CLASSES]


def soup(count=DEFAULT_COUNT, seed=DEFAULT_SEED, min_tokens=3, max_tokens=30):
    """``count`` token strings, the same for the same arguments."""
    rng = random.Random(seed)
    texts = []
    for _ in range(count):
        n = rng.randint(min_tokens, max_tokens)
        pools = rng.choices(_POOLS, weights=_WEIGHTS, k=n)
        texts.append(" ".join(rng.choice(pool) for pool in pools))
    return texts
