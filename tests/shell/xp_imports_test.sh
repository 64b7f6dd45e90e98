# vorn.exe must load on Windows XP: its import table may name no function that only Vista or later has.
# (Newer functions are looked up at run time with GetProcAddress instead.) The shipped program is the i686
# build; the x86_64 build is held to the same rule (XP had a 64-bit edition too). The 64-bit binutils read both.

imports="$VORN_TEST_TMP/imports.txt"
x86_64-w64-mingw32-objdump -p "$VORN_EXE" |
    sed -n '/The Import Tables/,/^The Export Tables\|^PE File Base Relocations/p' |
    awk '/DLL Name:/ { dll = $3; next } NF >= 3 && $1 ~ /^[0-9a-f]+$/ && $2 ~ /^[0-9]+$/ { print dll " " $3 }' > "$imports"

# The listing must really be the import table: a few functions every build imports.
for must in "KERNEL32.dll CreateFileW" "USER32.dll GetMessageW" "KERNEL32.dll GetModuleFileNameW"; do
    grep -qiF -- "$must" "$imports" || fail "import listing looks wrong: '$must' not found ($(wc -l < "$imports") entries)"
done

vista_only='^(GetTickCount64'\
'|InitializeConditionVariable|SleepConditionVariable(CS|SRW)|WakeConditionVariable|WakeAllConditionVariable'\
'|InitializeSRWLock|(Try)?AcquireSRWLock(Shared|Exclusive)|ReleaseSRWLock(Shared|Exclusive)'\
'|InitOnce[A-Za-z]*'\
'|CancelIoEx|CancelSynchronousIo|GetFileInformationByHandleEx|SetFileInformationByHandle'\
'|GetFinalPathNameByHandle[AW]?|CreateSymbolicLink[A-Za-z]*'\
'|SHCreateMemStream|SHGetKnownFolderPath'\
'|FlsAlloc|FlsGetValue|FlsSetValue|FlsFree'\
'|Create(Event|Mutex|Semaphore)Ex[AW]|InitializeCriticalSectionEx'\
'|[A-Za-z]*LocaleName[A-Za-z]*|[A-Za-z]*StringEx'\
'|GetErrorMode|SetThreadErrorMode|GetThreadId|QueryFullProcessImageName[AW]?'\
'|RegGetValue[AW]?|CreateThreadpool[A-Za-z]*'\
'|Wow64(Disable|Enable|Revert)Wow64FsRedirection'\
'|AddDllDirectory|SetDefaultDllDirectories)$'

# The pattern itself must catch what it is meant to catch.
for probe in GetTickCount64 AcquireSRWLockExclusive InitOnceExecuteOnce CreateEventExW GetUserDefaultLocaleName \
             CompareStringEx FlsAlloc SHCreateMemStream Wow64DisableWow64FsRedirection; do
    echo "$probe" | grep -qE "$vista_only" || fail "the pattern misses $probe"
done
for fine in GetTickCount CreateEventW InitializeCriticalSection CompareStringW GetModuleFileNameW; do
    ! echo "$fine" | grep -qE "$vista_only" || fail "the pattern wrongly matches $fine"
done

found=$(awk '{ print $2 " (" $1 ")" }' "$imports" | grep -E "${vista_only%\$}( |\$)" || true)
[ -z "$found" ] || fail "vorn.exe imports functions Windows XP lacks:
$found"
echo "vorn.exe imports $(wc -l < "$imports") functions, none newer than Windows XP"
