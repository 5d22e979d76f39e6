# The commands of the README. Each installs what is missing first.
BUILD_TEST  := build/asan
BUILD_BENCH := build/release
BUILD_FUZZ  := build/fuzz
BUILD_DEMO  := build/demo
JOBS        ?= $(shell nproc)
FUZZ_SECONDS ?= 60

.PHONY: deps demo test build-test bench fuzz clean

deps:
	@scripts/install-deps

# Prints the sample items (written by the project's own .msg writer) to PDFs in out/, with the
# product installed into a home inside the build folder.
demo: deps
	cmake -S . -B $(BUILD_DEMO) -G Ninja -DCMAKE_BUILD_TYPE=Release -DQM_TESTS=OFF
	cmake --build $(BUILD_DEMO) -j $(JOBS) --target quillmark quillmark_samples
	rm -rf $(BUILD_DEMO)/demo-home $(BUILD_DEMO)/samples
	QUILLMARK_HOME=$(CURDIR)/$(BUILD_DEMO)/demo-home $(BUILD_DEMO)/host/quillmark install
	$(BUILD_DEMO)/host/quillmark_samples $(BUILD_DEMO)/samples
	QUILLMARK_HOME=$(CURDIR)/$(BUILD_DEMO)/demo-home $(BUILD_DEMO)/host/quillmark print $(BUILD_DEMO)/samples/*.msg --out out

build-test: deps
	cmake -S . -B $(BUILD_TEST) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQM_SANITIZE=ON -DQM_TESTS=ON
	cmake --build $(BUILD_TEST) -j $(JOBS)

# Every test case in a process of its own. `ctest -L shuffled` runs each test executable whole in
# five shuffled orders instead, which finds a test that passes only after another.
test: build-test
	cd $(BUILD_TEST) && ctest -LE shuffled --output-on-failure -j $(JOBS) --timeout 600

bench: deps
	cmake -S . -B $(BUILD_BENCH) -G Ninja -DCMAKE_BUILD_TYPE=Release -DQM_TESTS=OFF -DQM_BENCH=ON
	cmake --build $(BUILD_BENCH) -j $(JOBS)
	@for b in $(BUILD_BENCH)/bench/bench_*; do [ -x "$$b" ] && "$$b" || exit 1; done

fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(BUILD_FUZZ) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQM_TESTS=OFF -DQM_FUZZ=ON
	cmake --build $(BUILD_FUZZ) -j $(JOBS)
	@echo "Fuzz targets are in $(BUILD_FUZZ)/fuzz; run one with -max_total_time=$(FUZZ_SECONDS)"

clean:
	rm -rf build
