# SPDX-License-Identifier: GPL-3.0-or-later
# The checks that need no build, first because they take seconds: see scripts/check.
set -euo pipefail
"$top/scripts/check"
