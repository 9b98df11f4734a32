# Vela: set-up, build, run and test. Every target installs what a fresh Debian 12 machine lacks.

BUILD       ?= build
JOBS        ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=
FUZZ_SECONDS ?= 60

SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)
PACKAGES := build-essential cmake pkg-config clang \
	qtbase5-dev qtdeclarative5-dev qtdeclarative5-dev-tools libqt5svg5-dev \
	qml-module-qtquick2 qml-module-qtquick-window2 qml-module-qtquick-controls \
	qml-module-qtquick-layouts qml-module-qtquick-xmllistmodel qml-module-qtquick-dialogs qml-module-qtgraphicaleffects \
	qml-module-qttest libqt5svg5 libhidapi-dev zlib1g-dev libbenchmark-dev \
	xvfb xauth x11-apps imagemagick

.PHONY: all deps configure build run test bench screenshots sanitize-test tsan-test fuzz clean

all: build

# Installs only when something is missing, so repeated runs cost nothing.
deps:
	@missing=$$(for p in $(PACKAGES); do dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'install ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
		echo "Installing:" $$missing; \
		$(SUDO) env DEBIAN_FRONTEND=noninteractive apt-get update -qq && \
		$(SUDO) env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $$missing; \
	fi

configure: deps
	@[ -f $(BUILD)/CMakeCache.txt ] || cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@app=$(BUILD)/vela-demo; [ -x $$app ] || app=$(BUILD)/vela; \
	if [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
		$$app; \
	else \
		echo "No display: running $$app under Xvfb for a few seconds"; \
		scripts/screenshot.sh $$app $(BUILD)/screenshot.png; \
	fi

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 900

bench: build
	@mkdir -p $(BUILD)/bench
	@: > $(BUILD)/bench/results.txt
	@for b in $$(find $(BUILD)/bench -type f -name 'bench_*' -perm -u+x | sort); do \
		echo "== $$b"; \
		$$b 2>$(BUILD)/bench/$$(basename $$b).log | tee -a $(BUILD)/bench/results.txt || true; \
	done
	@echo "Figures in $(BUILD)/bench/results.txt"

# One PNG per screen and state, from vela-demo scenarios on a virtual display (build/screens/).
screenshots: build
	scripts/screenshots.sh $(BUILD)

sanitize-test:
	$(MAKE) test BUILD=build-asan CMAKE_FLAGS="-DVELA_SANITIZE=address,undefined -DVELA_BENCH=OFF"

tsan-test:
	$(MAKE) test BUILD=build-tsan CMAKE_FLAGS="-DVELA_SANITIZE=thread -DVELA_BENCH=OFF"

fuzz: deps
	@[ -f build-fuzz/CMakeCache.txt ] || CC=clang CXX=clang++ cmake -S . -B build-fuzz -DVELA_FUZZ=ON -DVELA_BENCH=OFF
	@targets=$$(cmake --build build-fuzz --target help | sed -n 's/^\.\.\. \(fuzz_[A-Za-z0-9_]*\).*/\1/p'); \
		echo "Building" $$targets; cmake --build build-fuzz -j $(JOBS) --target $$targets
	@status=0; for f in $$(find build-fuzz/fuzz -type f -name 'fuzz_*' -perm -u+x | sort); do \
		name=$$(basename $$f); \
		corpus=build-fuzz/corpus/$$name; mkdir -p $$corpus; \
		seeds=fuzz/corpus/$$name; [ -d $$seeds ] && cp -n $$seeds/* $$corpus/ 2>/dev/null; \
		echo "== $$name for $(FUZZ_SECONDS) s"; \
		$$f -max_total_time=$(FUZZ_SECONDS) -timeout=10 -rss_limit_mb=2048 $$corpus || status=1; \
	done; exit $$status

clean:
	rm -rf build build-asan build-tsan build-fuzz
