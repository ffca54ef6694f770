# The two commands of the README, and a few conveniences.
BUILD ?= build
SANITIZE_BUILD ?= build-sanitize
JOBS ?= $(shell nproc)
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
GOST ?= 2001
TLS ?= 0
# WERROR=1 (as CI runs it) turns every compiler warning into an error.
WERROR ?= 0
WERROR_FLAG = -DCMAKE_COMPILE_WARNING_AS_ERROR=$(if $(filter 1,$(WERROR)),ON,OFF)

.PHONY: deps build test test-sanitize crash-test demo bench fuzz format format-check clean deb

deps:
	./scripts/install-deps

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(WERROR_FLAG)
	cmake --build $(BUILD) -j$(JOBS)

test: build
	./scripts/check-layers
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

# telva-cli killed with SIGKILL at 200 points of its sends, then the archive checked.
crash-test: build
	cmake --build $(BUILD) --target crash-test

# Every test again under AddressSanitizer and UndefinedBehaviorSanitizer, in its own folder.
test-sanitize: deps
	./scripts/test-sanitize $(SANITIZE_BUILD) $(JOBS)

# GOST=2012 runs the road with GOST R 34.10-2012 keys; TLS=1 runs it over HTTPS with GOST TLS.
demo: build
	GOST=$(GOST) TLS=$(TLS) ./scripts/demo $(BUILD)

# BENCH_ARGS=--large adds the 5 GB signing.
bench: build
	./scripts/run-bench $(BUILD) $(BENCH_ARGS)

# Every fuzz target for FUZZ_SECONDS; crashes land in fuzz/regressions/<target>/.
fuzz: deps
	JOBS=$(JOBS) ./scripts/run-fuzz $(FUZZ_BUILD) $(FUZZ_SECONDS)

FORMAT_FILES = find src tests tools bench fuzz -name '*.cpp' -o -name '*.h'

format:
	$(FORMAT_FILES) | xargs clang-format -i

# Fails on any file that has drifted from .clang-format, naming the lines.
format-check:
	$(FORMAT_FILES) | xargs clang-format --dry-run -Werror

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD) $(FUZZ_BUILD)

# The Debian package telva_<version>_<arch>.deb, in the build folder.
deb: build
	cd $(BUILD) && cpack -G DEB
