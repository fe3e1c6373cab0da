# Core test cases that assert Linux behaviour and are left out under Wine:
# "\n" line ends in the expected INI text, "/" separators and unchanged letter
# case in expected catalogue paths, ".desktop" launchers in XDG folders,
# symbolic links and file permissions. Windows' own forms of these are
# covered by win32_tests.
set(ZENKS_WIN32_EXCLUDED_config_tests
  CatalogueTest.ExtensionsAreTestedCaseBlindAndPathsKeepTheirCase
  CatalogueTest.TodaysFormatsJoinTheSameScanCaseBlind
  CatalogueTest.DepthFirstPreOrderSortedWithoutRegardToCase
  CatalogueTest.TrailingSeparatorOrNotGivesTheSamePaths
  CatalogueTest.NestedEntriesListTheChildTwiceInactiveOnesNever
  CatalogueTest.MissingUnreadableAndFileEntriesContributeNothing
  CatalogueTest.SymlinkCycleIsEnteredOnceAndLinkedFoldersAreFollowed
  CatalogueTest.HiddenFilesAndFoldersAreIncludedButDotFoldersAreNot
  OptionenTest.FirstRunWritesTheWholeSectionWithDefaults
  OptionenTest.EveryKeyRoundTrips
  OptionenTest.FlagKeysAndGaps
  OptionenTest.BooleansAreTrueOnlyForOne
  OptionenTest.GermanSeparatorWrittenEnglishReaderFallsBack
  OptionenTest.SectionIsRewrittenWholeOtherSectionsSurvive
  OptionenTest.FailedSaveKeepsTheOldFileAndTheNewValueInMemory
  OptionenTest.FirstRunCreatesTheThreeShortcuts
  IniFileTest.WritesKeepOtherSectionsAndTheirOrder
  IniFileTest.ReplaceSectionEqualsEraseThenWrites
  SettingsMergeTest.ValueOfAFailedSaveIsStoredByTheNextOne
)
# Reads the saved bitmap back through ImageMagick, a Linux tool here.
set(ZENKS_WIN32_EXCLUDED_fit_tests FitFileTest.SavedBitmapIsAStandardBmp)
