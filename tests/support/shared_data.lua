-- For the test scripts a5host runs: a missing shared file skips the test (exit 77) with the
-- line scripts/run-tests counts, or fails it when A5_REQUIRE_SHARED is set, as in CI.
-- Loaded with dofile(); returns the check.
return function(path)
  local file = io.open(path, "rb")
  if file then
    file:close()
    return
  end
  print("missing shared test data: " .. path)
  local required = os.getenv("A5_REQUIRE_SHARED")
  os.exit((required and required ~= "" and required ~= "0" and required ~= "OFF") and 1 or 77)
end
