# Core test cases that rest on Linux behaviour and are left out under Wine:
# symbolic links, file permissions, ".desktop" launchers in XDG folders, a
# case-sensitive file system and its sorted listings.
set(ZENKS_WIN32_EXCLUDED_config_tests
)
