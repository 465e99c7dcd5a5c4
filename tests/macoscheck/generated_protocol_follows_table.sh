#!/usr/bin/env bash
# A request added to the table (MQ_HELPER_XPC_PROTOCOL) appears in the generated
# @protocol, the exported methods and the client's calls with no other edit; and
# the listener, which makes the service, stops compiling until the service implements it.
set -euo pipefail
source_root=$(cd "$(dirname "$0")/../.." && pwd)
clang=${MQ_CHECK_CLANG:-clang++}
copy=$(mktemp -d)
trap 'rm -rf "$copy"' EXIT
tar -C "$source_root" --exclude=./build --exclude=./.git -cf - . | tar -C "$copy" -xf -
cd "$copy"

table=include/marquee/MQHelperXPCProtocol.h
python3 - "$table" <<'PY'
import sys
path = sys.argv[1]
text = open(path).read()
last = '''        void(std::optional<::mq::Data> report, std::optional<std::string> fileName))'''
assert last in text
text = text.replace(last, last + ''' \\
    X(countMarkersInRangeFromSeconds, "countMarkersInRangeFromSeconds:toSeconds:withReply:", \\
        void(double fromSeconds, double toSeconds), void(std::int64_t count, ::mq::OptionalError error))''')
text = text.replace('kRequestCount == 27, "MQHelperXPCProtocol has 27 requests"', 'kRequestCount == 28, "MQHelperXPCProtocol has 28 requests"')
open(path, 'w').write(text)
PY

generated=$(mktemp -d)
trap 'rm -rf "$copy" "$generated"' EXIT
"$clang" -std=c++20 -Wall -Werror -I. -Iinclude app/macos/generator/GenerateObjCProtocol.cpp protocol/ParameterNames.cpp -o "$generated/gen"
"$generated/gen" "$generated"

declaration='- (void)countMarkersInRangeFromSeconds:(double)fromSeconds toSeconds:(double)toSeconds withReply:(void (^)(int64_t count, NSError* error))reply'
status=0
grep -qF -- "$declaration;" "$generated/MQHelperXPCProtocol.h" || { echo "FAIL: the @protocol lacks the new request"; status=1; }
grep -qF -- "mq::xpc::forward<mq::protocol::countMarkersInRangeFromSeconds>" "$generated/MQHelperXPCExportMethods.inc" \
    || { echo "FAIL: the exported object lacks the new request"; status=1; }
grep -qF -- '"countMarkersInRangeFromSeconds:toSeconds:withReply:"' "$generated/MQHelperXPCClientCalls.inc" \
    || { echo "FAIL: the client lacks the new request"; status=1; }

# The service does not implement it yet: making it must not compile.
if scripts/check-macos.sh --root . app/macos/MQHelperXPCListener.mm >"$generated/check.log" 2>&1; then
    echo "FAIL: the listener compiled although the service lacks the new request"
    status=1
elif ! grep -q "countMarkersInRangeFromSeconds" "$generated/check.log"; then
    echo "FAIL: the check failed for another reason:"; cat "$generated/check.log"; status=1
fi
[[ $status -eq 0 ]] && echo "ok: the new request is in the protocol, the exported methods and the client calls: $declaration"
exit $status
