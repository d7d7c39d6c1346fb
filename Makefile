# A thin front over CMake: `make demo` shows the program at work, `make check` runs every test.
BUILD := build

.PHONY: all build check demo clean

all: build

build:
	@tools/ensure-deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null
	@cmake --build $(BUILD) --parallel -- --no-print-directory

check: build
	@ctest --test-dir $(BUILD) --output-on-failure --parallel 2

demo: build
	@tools/demo $(BUILD)

clean:
	rm -rf $(BUILD)
