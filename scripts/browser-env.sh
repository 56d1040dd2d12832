# Sourced by the scripts that run the browser engine (the desktop program's report window, the report's
# PDF): as root the engine's sandbox cannot start and must be turned off, and on a machine without a GPU
# (or under Xvfb) the engine draws in software. A value the caller has set already is kept.
if [ "$(id -u)" -eq 0 ]; then
  export QTWEBENGINE_DISABLE_SANDBOX=${QTWEBENGINE_DISABLE_SANDBOX:-1}
fi
export QTWEBENGINE_CHROMIUM_FLAGS=${QTWEBENGINE_CHROMIUM_FLAGS:---disable-gpu}
