#!/usr/bin/env bash
# Runs one script test with a fresh scratch folder under the build tree.
set -euo pipefail
script=$1
export VORN_TEST_TMP="$VORN_BUILD_DIR/test-tmp/$VORN_TEST_NAME"
rm -rf "$VORN_TEST_TMP"; mkdir -p "$VORN_TEST_TMP"
source "$VORN_SOURCE_DIR/tests/support/script_lib.sh"
# A command that fails outside a check ends the script through errexit without a word: name it.
set -E
trap 'vorn_err_status=$?; [[ $- != *e* ]] || echo "FAIL: \"$BASH_COMMAND\" ended with status $vorn_err_status (line $LINENO of ${BASH_SOURCE[0]##*/})" >&2' ERR
cd "$VORN_TEST_TMP"
source "$script"
