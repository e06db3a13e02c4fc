# Read by CTest after the test programs have listed their tests. CTest starts
# the costliest tests first, but a fresh build folder has no record of what a
# test cost: these are the few that run far longer than the rest (seconds
# under the sanitizers, where they are longest), so that a parallel run starts
# them at once instead of finishing on them alone. A name no program lists is
# passed over, so the list may run ahead of or behind the tests themselves.
set_tests_properties(
  PlaySessionSound.ShotsAndTheTrackAreHeardAndTheReplayMixesTheSameSamples
  PROPERTIES COST 200)
set_tests_properties(
  StreamThread.FifteenRingsOfSoundPlayToTheirEndWithoutUnderrun
  PlayedThroughMenus.EachModeIsPlayedSavedAndWatchedToTheSameFinalScore
  PROPERTIES COST 60)
set_tests_properties(
  PlayMoviesOnADisplay.EachPathShowsBothClipsMovingAndEndsCleanly
  GameOnADisplay.IsPlayedThroughItsMenusAndQuitsWithZero
  DrawImagesOnADisplay.EachPathShowsTheBoxesAndPicturesAndEndsCleanly
  ReplayCheckTest.GeneratedGamesReplayWithIdenticalHashesEveryFrame
  SoundSystemTest.StartsAndEndsAHundredTimes
  PROPERTIES COST 30)
set_tests_properties(
  LzCompress.LongestMatchesAndFarthestDistance
  ModelBufferBlockTest.ABlockTakesNoListOnceItHoldsTheVertexLimit
  BothPaths/ReplayOnADrawingPath.GamesDrawnEveryFrameHashAsTheirUndrawnReplays/Software
  RasterShadedSpans.GiveThePlainPathsPixelsAndDepthOverRandomScenes
  RasterKernels.BlendsTintsAndAlphaTestsMatchThePerPixelArithmetic
  Stretch.EveryVariantMatchesTheOracleMirroredAtOneToOneAndScaled
  ArcFs.FiveHundredTwelveArchivesMayBeOpenAtOnce
  SettingsProgramOnADisplay.KeyboardChoicesAreSavedToConfigDat
  StartRefusals.ACopyOnAnotherDisplayRunsBesideAHeadlessOne
  XvfbWindow.ARealWindowShowsItsFramebufferAndTakesKeys
  LibraryTest.SecondInstanceIsRefused
  SoundRestart.ASecondStartLoadsAndPlaysAsTheFirstWhateverWasLeftSet
  PROPERTIES COST 12)
