-- Builds the sessions the host test renders, as a user would in Ardour: one stereo track
-- whose first processor plays deterministic noise ("Tolvane Test Noise"), then the plug-in.
-- Environment: TV_DIR (a folder for the sessions), TV_TYPE (the plug-in type's name in
-- ARDOUR.PluginType: LXVST, VST3 or LV2), TV_PLUGIN (the plug-in's name as Ardour lists it),
-- TV_NAMES (the parameter names expected, in order, separated by "|"), TV_LOAD (optional: the
-- name of a session saved in TV_DIR to load and check instead of making the three below).
--
-- Sessions: "dry" (the noise alone), "bypassed" (the plug-in with every parameter set away
-- from its default and Bypass on; saved, loaded again and checked) and "defaults" (the
-- plug-in as inserted). Each line it prints starting "FAIL" is a failed check; the last line
-- is "SESSIONS OK" when everything was made and checked.
--
-- Values are set and compared as fractions of each parameter's range as Ardour describes it:
-- Ardour holds a VST2 parameter as the normalised value and a VST3 one as the plug-in's plain
-- value, and the same fractions make the same settings in both.

local dir = os.getenv ("TV_DIR")
local ptype = ARDOUR.PluginType[os.getenv ("TV_TYPE")]
local pname = os.getenv ("TV_PLUGIN")
local expected = {}
for n in string.gmatch (os.getenv ("TV_NAMES"), "[^|]+") do expected[#expected + 1] = n end
local failed = false
local function fail (what) print ("FAIL " .. what); failed = true end

-- The plug-in's parameters in Ardour's numbering: its control inputs (Ardour numbers an LV2
-- plug-in's ports, the audio ones among them, and a VST plug-in's parameters).
local function controls (plugin)
  local list = {}
  for i = 0, plugin:parameter_count () - 1 do
    if plugin:parameter_is_control (i) and plugin:parameter_is_input (i) then list[#list + 1] = i end
  end
  return list
end

-- Parameter `i`'s range as Ardour describes it: lower, upper.
local function range (plugin, i)
  local _, t = plugin:get_parameter_descriptor (i, ARDOUR.ParameterDescriptor ())
  return t[2].lower, t[2].upper
end

-- Away from every default, so a value lost on the way back shows; Bypass (the fifth) on.
local set = { 0.3, 0.5, 0.25, 0.0, 1.0, 0.4, 0.625 }

local function make (name, plugin)
  local s = create_session (dir .. "/" .. name, name, 48000)
  assert (s, "no session " .. name)
  local track = s:new_audio_track (2, 2, nil, 1, "Noise", ARDOUR.PresentationInfo.max_order,
                                   ARDOUR.TrackMode.Normal, true):front ()
  local gen = ARDOUR.LuaAPI.new_luaproc (s, "Tolvane Test Noise")
  assert (not gen:isnil (), "no noise source")
  track:add_processor_by_index (gen, 0, nil, true)
  if plugin then
    local p = ARDOUR.LuaAPI.new_plugin (s, pname, ptype, "")
    assert (not p:isnil (), "Ardour has no plug-in " .. pname)
    track:add_processor_by_index (p, 1, nil, true)
    plugin (p)
  end
  s:save_state ("", false, false, false, false, false)
  close_session ()
end

-- The plug-in on the "Noise" track, or nil.
local function find_plugin (s)
  for r in s:get_routes ():iter () do
    if r:name () == "Noise" then
      local i = 0
      while true do
        local p = r:nth_plugin (i)
        if p:isnil () then break end
        if p:display_name () == pname then return p end
        i = i + 1
      end
    end
  end
  return nil
end

-- Loads the session `name` and checks that its plug-in is active and holds the values `set`.
local function check_loaded (name)
  local s = load_session (dir .. "/" .. name, name)
  assert (s, "the session " .. name .. " did not load")
  local p = find_plugin (s)
  assert (p, "the plug-in is gone from the loaded session " .. name)
  -- Active, so the render with Bypass on is the plug-in's bypass, not Ardour's.
  if not p:active () then fail ("the plug-in was loaded inactive") end
  -- The values Ardour restored into the plug-in (that they reached it shows in the render:
  -- Bypass on makes it the dry one).
  local plugin = p:to_insert ():plugin (0)
  for k, i in ipairs (controls (plugin)) do
    local lower, upper = range (plugin, i)
    local v = (ARDOUR.LuaAPI.get_processor_param (p, i, true) - lower) / (upper - lower)
    print ("value " .. i .. " " .. v)
    if math.abs (v - set[k]) > 1e-6 then fail ("value " .. i .. " " .. v .. ", set " .. set[k]) end
  end
  close_session ()
end

local load = os.getenv ("TV_LOAD") or ""
if load ~= "" then
  check_loaded (load)
else
  make ("dry", nil)
  make ("defaults", function (p) end)
  make ("bypassed", function (p)
    local plugin = p:to_insert ():plugin (0)
    local list = controls (plugin)
    if #list ~= #expected then fail ("parameter count " .. #list .. ", expected " .. #expected) end
    for k, i in ipairs (list) do
      local label = plugin:parameter_label (i)
      print ("name " .. i .. " " .. label)
      if label ~= expected[k] then fail ("name " .. i .. " '" .. label .. "'") end
      if set[k] then
        local lower, upper = range (plugin, i)
        ARDOUR.LuaAPI.set_processor_param (p, i, lower + set[k] * (upper - lower))
      end
    end
  end)
  check_loaded ("bypassed")
end
if not failed then print ("SESSIONS OK") end
