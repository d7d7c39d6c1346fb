# A thin front over CMake: `make demo` shows the program at work, `make check` runs every test.
BUILD := build
SANITIZED := build-sanitized
SANITIZERS := -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer
# A sanitizer report ends the process with SIGABRT, which no test takes for a normal exit.
SANITIZER_ENV := ASAN_OPTIONS=abort_on_error=1 UBSAN_OPTIONS=abort_on_error=1:print_stacktrace=1

FUZZ_SECONDS := 180

.PHONY: all build check check-windows demo fuzz bench clean

all: build

build:
	@tools/ensure-deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null
	@cmake --build $(BUILD) --parallel -- --no-print-directory

check: build
	@ctest --test-dir $(BUILD) --output-on-failure --parallel 2
	@echo "again built by clang++ with AddressSanitizer and UndefinedBehaviorSanitizer, in $(SANITIZED)/"
	@cmake -S . -B $(SANITIZED) -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug \
	  -DCMAKE_COMPILE_WARNING_AS_ERROR=ON "-DCMAKE_CXX_FLAGS=$(SANITIZERS)" >/dev/null
	@cmake --build $(SANITIZED) --parallel -- --no-print-directory
	@$(SANITIZER_ENV) ctest --test-dir $(SANITIZED) --output-on-failure --parallel 2

check-windows: build
	@tools/check-windows $(BUILD)

demo: build
	@tools/demo $(BUILD)

fuzz:
	@tools/fuzz $(FUZZ_SECONDS)

bench: build
	@tools/bench $(BUILD)

clean:
	rm -rf $(BUILD) $(SANITIZED) build-fuzz build-windows-i686 build-windows-x86_64
